// printf-style formatting appended to a string, for the texts the batch
// writes (pictures, tables).
#pragma once

#include <string>

// Appends the formatted text to `out`; no output is cut, however long.
void append_format(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
