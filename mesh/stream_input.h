// Forward reading of a mesh file's body from a C stream: raw bytes, the
// bound a regular file's size puts on the counts it declares, and ascii
// tokens. Nothing here seeks backwards, so standard input works.
#pragma once

#include <cstdint>
#include <cstdio>

// The largest number of elements an array grows by before data backs it: a
// count read from a file is never trusted for an allocation on its own.
constexpr int kGrowthChunk = 1 << 16;

// Unlocked stdio: a reader owns its stream while it runs, so the per-call
// locking of fread/getc is pure overhead on millions of small reads.
inline size_t read_raw(void* dst, size_t size, size_t n, std::FILE* f) {
#if defined(__GLIBC__)
  return fread_unlocked(dst, size, n, f);
#else
  return std::fread(dst, size, n, f);
#endif
}
inline int get_char(std::FILE* f) {
#if defined(__GLIBC__)
  return getc_unlocked(f);
#else
  return std::getc(f);
#endif
}
// The white space of printf-style scanning.
inline bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Bytes left in `f` when it is a regular file, or -1 when unknown (a pipe,
// a terminal, a memory stream).
int64_t bytes_remaining(std::FILE* f);
// False when `f` is known to hold fewer than `needed` more bytes.
bool input_may_hold(std::FILE* f, int64_t needed);

// Skips white space and "#" comments (to the end of their line); the next
// other character is pushed back.
void skip_comments(std::FILE* f);

// Ascii scanning, one white-space-delimited token at a time (leading white
// space is skipped; the character after the token stays in the stream). A
// token that is not entirely a number fails the scan (its characters are
// consumed). scan_int also fails outside the int32 range.
bool scan_float(std::FILE* f, float& value);
bool scan_int(std::FILE* f, int& value);
// Discards one token; false at end of file.
bool skip_token(std::FILE* f);
