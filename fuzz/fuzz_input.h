// Hands fuzzer bytes to the readers as real streams.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "mesh/diagnostics.h"

namespace fuzz_input {

// A stream over the bytes whose size is known (a memory-backed regular
// file, so the readers take their file-size checks), or null.
inline std::FILE* sized_stream(const uint8_t* data, size_t size) {
  int fd = memfd_create("fuzz", 0);
  if (fd < 0) return nullptr;
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return nullptr;
  }
  lseek(fd, 0, SEEK_SET);
  std::FILE* f = fdopen(fd, "rb");
  if (!f) close(fd);
  return f;
}

// A stream over the bytes whose size is unknown (the readers grow in chunks).
inline std::FILE* unsized_stream(const uint8_t* data, size_t size) {
  static char empty[1];
  if (size == 0) {
    std::FILE* f = fmemopen(empty, 1, "rb");
    if (f) std::fgetc(f);
    return f;
  }
  return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

inline void silence() {
  static bool done = false;
  if (done) return;
  done = true;
  set_progress_hook([](const char*) {});
  set_error_hook([](const char*) {});
}

}  // namespace fuzz_input
