#include "app/text_format.h"

#include <cstdarg>
#include <cstdio>

void append_format(std::string& out, const char* format, ...) {
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    const size_t at = out.size();
    out.resize(at + size_t(length) + 1);
    std::vsnprintf(&out[at], size_t(length) + 1, format, again);
    out.resize(at + size_t(length));
  }
  va_end(again);
}
