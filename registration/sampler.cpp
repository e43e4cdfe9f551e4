#include "registration/sampler.h"

namespace {

uint32_t g_state = 0;

}  // namespace

float draw_sample() {
  g_state = g_state * 1664525u + 1013904223u;
  // The product is exact in double; the one rounding is the cast to float.
  return float(double(g_state) * (1.0 / 4294967296.0));
}

uint32_t sample_generator_state() { return g_state; }

void set_sample_generator_state(uint32_t state) { g_state = state; }
