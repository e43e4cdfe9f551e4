// The program's texts are single-byte Windows-1252, in memory, in the files
// it writes and on the console ("ó" is the byte 0xF3, "¿" the byte 0xBF).
// Widgets and dialogs want UTF-8: cp1252_to_utf8 is the one conversion,
// applied only at that boundary.
#pragma once

#include <string>

#include "app/Platform.h"

// Converts Windows-1252 bytes to UTF-8. ASCII is unchanged; the five byte
// values the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// become U+FFFD, the replacement character.
std::string cp1252_to_utf8(const std::string& text);

// A question for a widget: its words converted, its path kept as it is
// (paths here are UTF-8 already).
std::string question_utf8(const QuestionText& text);

// Texts of the quit confirmation (Windows-1252).
extern const char* const kQuitTitle;     // "Salir"
extern const char* const kQuitQuestion;  // "¿Desea salir del programa? El alineamiento puede ser interrumpido"
