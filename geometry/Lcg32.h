// Lcg32: the 32-bit linear congruential generator behind every sampling in
// the engine (registration's samples, the curvature-scale sampling, the faces
// typical_edge_length looks at). Each use keeps its own process-wide
// instance, so their sequences never interleave.
#pragma once

#include <cstdint>

struct Lcg32 {
  uint32_t state = 0;  // 0 at program start

  // state = state * 1664525 + 1013904223 (mod 2^32); returns the new state.
  uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state;
  }
  // next() * 2^-32 rounded to float, in [0, 1] (the rounding can give
  // exactly 1.0). Computed as the state rounded to float, then scaled by
  // 2^-32: scaling by a power of two commutes with rounding (the result is
  // never subnormal), so this is the exact product rounded once, for every
  // state, in two instructions instead of three conversions.
  float next_unit() { return float(next()) * 0x1p-32f; }
};
