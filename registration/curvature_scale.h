// The length that turns the ridge-line strength threshold ("Umbral") into a
// curvature: the smaller of 5 % of the bounding-sphere radius and 0.01 over
// the 10th-percentile magnitude of sampled principal curvatures.
#pragma once

#include <cstdint>

#include "registration/MeshSlot.h"

// Sets slot.curvature_scale. Draws min(n, 500) vertices (n = entries of
// principal_curv1) with a generator private to this function (0 at program
// start, carried over between calls: x = x * 1664525 + 1013904223, index
// x mod n), takes |curv1| and |curv2| of each, q = the value of rank
// floor(0.1 * samples) in ascending order, b = 0.01 / q, a = 0.05 * bounding
// sphere radius (built on demand); the scale is min(b, a), b when equal. A
// mesh without curvatures, or whose principal_curv2 is shorter, gets a; a
// slot without a mesh is left unchanged.
void compute_curvature_scale(MeshSlot& slot);

// The private generator's state, for tests that need a known sequence.
uint32_t curvature_scale_generator_state();
void set_curvature_scale_generator_state(uint32_t state);
