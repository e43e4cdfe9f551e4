#include "mesh/byte_order.h"

#include <cmath>
#include <limits>
#include <utility>

#include "mesh/diagnostics.h"

namespace {

// A coordinate beyond this magnitude marks a first vertex read in the wrong byte order.
constexpr double kPlausibleLimit = 1e10;

// The raw coordinates in one byte order, widened to double.
void raw_coords(const unsigned char* at, bool is_double, bool swap, double out[3]) {
  for (int i = 0; i < 3; i++) {
    if (is_double) {
      double d;
      std::memcpy(&d, at + 8 * i, 8);
      if (swap) swap_bytes_8(&d);
      out[i] = d;
    } else {
      float v;
      std::memcpy(&v, at + 4 * i, 4);
      if (swap) swap_bytes_4(&v);
      out[i] = v;
    }
  }
}

// Plausible coordinates lie strictly within +-1e10 and are zero or of normal
// magnitude: reading in the wrong order turns small integers and simple
// fractions into subnormal values, as implausible as huge ones (without
// this, 1e11 written in our own byte order would "swap" into 1e-5 and 1e-44).
bool all_plausible(const double v[3], bool is_double) {
  const double smallest = is_double ? std::numeric_limits<double>::min()
                                    : static_cast<double>(std::numeric_limits<float>::min());
  for (int i = 0; i < 3; i++) {
    if (!(v[i] > -kPlausibleLimit && v[i] < kPlausibleLimit)) return false;
    if (v[i] != 0 && std::fabs(v[i]) < smallest) return false;
  }
  return true;
}

bool all_finite(const double v[3]) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

void swap_bytes_2(void* value) {
  unsigned char* b = static_cast<unsigned char*>(value);
  std::swap(b[0], b[1]);
}

void swap_bytes_4(void* value) {
  unsigned char* b = static_cast<unsigned char*>(value);
  std::swap(b[0], b[3]);
  std::swap(b[1], b[2]);
}

void swap_bytes_8(void* value) {
  unsigned char* b = static_cast<unsigned char*>(value);
  for (int i = 0; i < 4; i++) std::swap(b[i], b[7 - i]);
}

// NaN and infinity are common "no sample" markers of scanners, so a first
// vertex holding one is not taken as evidence.
void guess_byte_order(const unsigned char* xyz, bool is_double, bool& need_swap) {
  double declared[3];
  raw_coords(xyz, is_double, need_swap, declared);
  if (all_plausible(declared, is_double) || !all_finite(declared)) return;
  double other[3];
  raw_coords(xyz, is_double, !need_swap, other);
  if (all_plausible(other, is_double)) {
    progress_printf("Compensating for bogus endianness...\n");
    need_swap = !need_swap;
  }
}
