// The mesh library's diagnostic printer. Two printf-style channels:
// progress messages (printed only while the verbose switch is on, which it is
// at start) and error messages (always printed). Each formats into a
// 1024-byte buffer (longer text is cut, never overflowed) and hands the text
// to an installed hook, or else writes it to the thread's console stream
// (geometry/console.h: standard error unless redirected) and flushes.
#pragma once

#include <cstdarg>

using DiagnosticHook = void (*)(const char* text);

#if defined(__GNUC__)
#define ICP_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define ICP_PRINTF_FORMAT(fmt, first)
#endif

// Progress text; printed only while the verbose switch is on.
void progress_printf(const char* format, ...) ICP_PRINTF_FORMAT(1, 2);
// Error text; always printed.
void error_printf(const char* format, ...) ICP_PRINTF_FORMAT(1, 2);

void set_verbose(bool on);
bool verbose();
// A null hook restores writing to standard error.
void set_progress_hook(DiagnosticHook hook);
// True while a progress hook is installed (progress text then bypasses the
// thread's console stream).
bool progress_hooked();
void set_error_hook(DiagnosticHook hook);
