// Byte order: the host's, byte reversal, and the guess that corrects a
// binary file whose header names the wrong order.
#pragma once

#include <cstdint>
#include <cstring>

// True on a little-endian host.
inline bool host_is_little_endian() {
  const uint16_t probe = 1;
  uint8_t first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

// Byte reversal in place.
void swap_bytes_2(void* value);
void swap_bytes_4(void* value);
void swap_bytes_8(void* value);

// The first vertex of a binary body decides its byte order. `xyz` holds its
// raw x, y, z (float32, or float64 when `is_double`). When they are not all
// plausible (zero or of normal magnitude, strictly within +-1e10) read with
// `need_swap` but are in the other order, prints "Compensating for bogus endianness..." and inverts
// `need_swap`. A NaN or infinite coordinate in the declared order says
// nothing about the order and leaves `need_swap` alone.
void guess_byte_order(const unsigned char* xyz, bool is_double, bool& need_swap);
