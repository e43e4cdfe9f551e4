// The sample generator of registration: one process-wide 32-bit linear
// congruential state, 0 at program start and never reseeded by the engine,
// shared by every alignment. Runs are therefore reproducible from program
// start, and two consecutive alignments draw different samples.
#pragma once

#include <cstdint>

#include "geometry/Lcg32.h"

// The generator itself. A sample is next_unit(): state = state * 1664525 +
// 1013904223 (mod 2^32), then state * 2^-32 rounded to float, in [0, 1] (the
// rounding can give exactly 1.0). A pass steps a local copy and stores it
// back.
Lcg32& sample_generator();

// The current state. For tests and benchmarks that need a run independent of
// what ran before them in the same process; the program never calls these.
uint32_t sample_generator_state();
void set_sample_generator_state(uint32_t state);
