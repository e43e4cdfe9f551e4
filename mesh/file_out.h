// Output streams of the mesh writers (internal to the mesh layer).
//
// Both remember the first failed write and ignore everything after it, so a
// writer can emit a whole file and ask once at the end whether it arrived.
// Neither changes the data it is given: binary values are byte-swapped into
// the output buffer, never in the caller's arrays, so a mesh is left exactly
// as it was even when a write fails halfway.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "mesh/byte_order.h"
#include "mesh/diagnostics.h"

// printf-style text output.
class TextOut {
 public:
  explicit TextOut(std::FILE* f) : file_(f) {}
  void print(const char* format, ...) ICP_PRINTF_FORMAT(2, 3);
  // True while every write so far succeeded.
  bool ok() const { return ok_; }

 private:
  std::FILE* file_;
  bool ok_ = true;
};

// Binary output in one chosen byte order, buffered in blocks.
class BinaryOut {
 public:
  // `little_endian` is the byte order of the file, whatever the host's.
  BinaryOut(std::FILE* f, bool little_endian) : file_(f), little_endian_(little_endian) {}
  // Writes what is still buffered (also done by `finish`).
  ~BinaryOut() { flush(); }
  void u8(uint8_t value);
  void u16(uint16_t value);
  void u32(uint32_t value);
  void i32(int32_t value) { u32(static_cast<uint32_t>(value)); }
  void f32(float value);
  void bytes(const void* data, size_t size);
  // Writes the buffered bytes; true when every write so far succeeded.
  bool finish();

 private:
  void flush();
  std::FILE* file_;
  bool little_endian_;
  bool ok_ = true;
  std::vector<uint8_t> buffer_;
};

// The byte a colour component is written as: the integer part of
// c * 255 + 0.5, clamped to 0..255 (NaN gives 0).
uint8_t color_to_byte(float c);
