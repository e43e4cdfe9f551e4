#include "mesh/stream_input.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <sys/stat.h>

namespace {

// The longest ascii token a scan looks at (longer tokens are cut there).
constexpr int kMaxToken = 1024;

// Reads one token into buf (NUL-terminated). Returns its length, or -1 at end
// of file before any token. The character that ended the token is pushed back.
int read_token(std::FILE* f, char* buf, int cap) {
  int c = get_char(f);
  while (c != EOF && is_space(c)) c = get_char(f);
  if (c == EOF) return -1;
  int len = 0;
  while (c != EOF && !is_space(c) && len < cap - 1) {
    buf[len++] = static_cast<char>(c);
    c = get_char(f);
  }
  if (c != EOF) std::ungetc(c, f);
  buf[len] = '\0';
  return len;
}

// A leading '+' is allowed as in printf-style scanning; from_chars rejects it.
const char* skip_plus(const char* s, const char* end) {
  return (end - s > 1 && s[0] == '+' && s[1] != '-') ? s + 1 : s;
}

}  // namespace

int64_t bytes_remaining(std::FILE* f) {
  int fd = fileno(f);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  long pos = std::ftell(f);
  if (pos < 0) return -1;
  return std::max<int64_t>(0, static_cast<int64_t>(st.st_size) - pos);
}

bool input_may_hold(std::FILE* f, int64_t needed) {
  int64_t left = bytes_remaining(f);
  return left < 0 || needed <= left;
}

bool scan_float(std::FILE* f, float& value) {
  char buf[kMaxToken + 1];
  int len = read_token(f, buf, sizeof buf);
  if (len <= 0) return false;
  const char* s = skip_plus(buf, buf + len);
  auto [end, ec] = std::from_chars(s, buf + len, value);
  // Out-of-range values saturate as a printf-style scan would give them.
  if (ec == std::errc::result_out_of_range && end == buf + len) {
    value = static_cast<float>(std::strtod(buf, nullptr));
    return true;
  }
  return ec == std::errc() && end == buf + len;
}

bool scan_int(std::FILE* f, int& value) {
  char buf[kMaxToken + 1];
  int len = read_token(f, buf, sizeof buf);
  if (len <= 0) return false;
  const char* s = skip_plus(buf, buf + len);
  auto [end, ec] = std::from_chars(s, buf + len, value);
  return ec == std::errc() && end == buf + len;
}

bool skip_token(std::FILE* f) {
  int c = get_char(f);
  while (c != EOF && is_space(c)) c = get_char(f);
  if (c == EOF) return false;
  while (c != EOF && !is_space(c)) c = get_char(f);
  if (c != EOF) std::ungetc(c, f);
  return true;
}

void skip_comments(std::FILE* f) {
  int c;
  while ((c = get_char(f)) != EOF) {
    if (is_space(c)) continue;
    if (c == '#') {
      while ((c = get_char(f)) != EOF && c != '\n') {
      }
      continue;
    }
    std::ungetc(c, f);
    return;
  }
}
