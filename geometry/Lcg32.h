// Lcg32: the 32-bit linear congruential generator behind every sampling in
// the engine (registration's samples, the curvature-scale sampling, the faces
// typical_edge_length looks at). Each use keeps its own process-wide
// instance, so their sequences never interleave.
#pragma once

#include <cstdint>

struct Lcg32 {
  uint32_t state = 0;  // 0 at program start

  static constexpr uint32_t kMul = 1664525u, kAdd = 1013904223u;

  // state = state * 1664525 + 1013904223 (mod 2^32); returns the new state.
  uint32_t next() {
    state = state * kMul + kAdd;
    return state;
  }
  // next() * 2^-32 rounded to float, in [0, 1] (the rounding can give
  // exactly 1.0).
  float next_unit() { return unit(next()); }

  // The state after `s` and the one after that, each computed from `s`
  // alone (two steps at once are one step with kMul^2 and kMul * kAdd +
  // kAdd), so that a loop drawing two at a time does not wait on the first
  // to compute the second.
  static uint32_t step(uint32_t s) { return s * kMul + kAdd; }
  static uint32_t two_steps(uint32_t s) { return s * (kMul * kMul) + (kMul * kAdd + kAdd); }
  // A state as next_unit returns it: rounded to float, then scaled by 2^-32.
  // Scaling by a power of two commutes with rounding (the result is never
  // subnormal), so this is the exact product rounded once, for every state,
  // in two instructions instead of three conversions.
  static float unit(uint32_t s) { return float(s) * 0x1p-32f; }
};
