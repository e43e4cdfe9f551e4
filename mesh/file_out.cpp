#include "mesh/file_out.h"

#include <cstdarg>
#include <cstring>

namespace {

// Bytes collected before one fwrite; large enough that a vertex block goes
// out in few calls, small enough not to matter beside the mesh itself.
constexpr size_t kBlockSize = 1 << 16;

}  // namespace

void TextOut::print(const char* format, ...) {
  if (!ok_) return;
  va_list args;
  va_start(args, format);
  if (std::vfprintf(file_, format, args) < 0) ok_ = false;
  va_end(args);
}

void BinaryOut::u8(uint8_t value) {
  buffer_.push_back(value);
  if (buffer_.size() >= kBlockSize) flush();
}

void BinaryOut::u16(uint16_t value) {
  if (little_endian_) {
    u8(static_cast<uint8_t>(value));
    u8(static_cast<uint8_t>(value >> 8));
  } else {
    u8(static_cast<uint8_t>(value >> 8));
    u8(static_cast<uint8_t>(value));
  }
}

void BinaryOut::u32(uint32_t value) {
  for (int i = 0; i < 4; i++) {
    const int shift = little_endian_ ? 8 * i : 8 * (3 - i);
    u8(static_cast<uint8_t>(value >> shift));
  }
}

void BinaryOut::f32(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  u32(bits);
}

void BinaryOut::bytes(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  buffer_.insert(buffer_.end(), p, p + size);
  if (buffer_.size() >= kBlockSize) flush();
}

void BinaryOut::flush() {
  if (ok_ && !buffer_.empty() &&
      std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
    ok_ = false;
  buffer_.clear();
}

bool BinaryOut::finish() {
  flush();
  return ok_;
}

uint8_t color_to_byte(float c) {
  const double v = c * 255.0 + 0.5;
  if (!(v >= 1.0)) return 0;
  if (v >= 255.0) return 255;
  return static_cast<uint8_t>(v);
}
