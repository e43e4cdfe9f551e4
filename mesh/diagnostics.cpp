#include "mesh/diagnostics.h"

#include <cstdio>

#include "geometry/console.h"

namespace {

bool g_verbose = true;
DiagnosticHook g_progress_hook = nullptr;
DiagnosticHook g_error_hook = nullptr;

// vsnprintf never writes past the buffer and always terminates it, so a text
// longer than 1023 characters is cut rather than overflowing.
void emit(DiagnosticHook hook, const char* format, va_list args) {
  char buffer[1024];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  if (hook) {
    hook(buffer);
  } else {
    std::FILE* out = console_stream();
    std::fputs(buffer, out);
    std::fflush(out);
  }
}

}  // namespace

void progress_printf(const char* format, ...) {
  if (!g_verbose) return;
  va_list args;
  va_start(args, format);
  emit(g_progress_hook, format, args);
  va_end(args);
}

void error_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(g_error_hook, format, args);
  va_end(args);
}

void set_verbose(bool on) { g_verbose = on; }
bool verbose() { return g_verbose; }
void set_progress_hook(DiagnosticHook hook) { g_progress_hook = hook; }
bool progress_hooked() { return g_progress_hook != nullptr; }
void set_error_hook(DiagnosticHook hook) { g_error_hook = hook; }
