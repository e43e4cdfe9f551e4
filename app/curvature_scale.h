// The curvature scale of a loaded mesh: a length that turns the "Umbral"
// slider of the ridge and valley lines into a curvature threshold
// (threshold / scale). Sampled from at most 500 random vertices.
#pragma once

#include <cstdint>

#include "registration/MeshSlot.h"

// Sets slot.curvature_scale from the slot's mesh using the program's one
// private sampling generator (starts at 0 with the program and carries over
// from call to call, so two loads of one file may give different scales).
void compute_curvature_scale(MeshSlot& slot);

// The same with an explicit generator state, advanced in place:
//   count = min(n, 500) picks, each generator = generator * 1664525 + 1013904223
//   (mod 2^32), i = generator mod n, samples |k1[i]| and |k2[i]|;
//   a = 0.05 * bounding radius; q = the sample at rank trunc(0.1 * samples)
//   (ascending); b = 0.01 / q (infinity for q = 0); scale = min(b, a), b on a tie.
// Degenerate cases: a mesh without curvatures (or with arrays of different
// lengths) gives a; a non-finite sample ranks as infinity; when a is not a
// positive finite number either, the scale is 1 so that the threshold stays finite.
// Needs slot.mesh non-null; computes the bounding sphere if missing.
void compute_curvature_scale(MeshSlot& slot, uint32_t& generator);
