// The host's byte order, asked once where a file's byte order must be
// compared with it.
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
