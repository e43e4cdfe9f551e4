// Significant colour: a vertex keeps its own colour only where it differs
// from more than a third of its neighbours by at least the slot's tolerance;
// every other vertex is white.
#pragma once

#include "registration/MeshSlot.h"

// Fills slot.significant_colors (one Color per vertex) and
// slot.significant_flags (1 where the colour was kept). A neighbour pair
// differs when 100·|Δred| ≥ t, or 100·|Δgreen| ≥ t, or (100/256)·|Δblue| ≥ t,
// t = slot.color_tolerance. A vertex without neighbours stays white. Needs
// the mesh's colours and neighbours; a mesh lacking either gets all white.
void build_significant_colors(MeshSlot& slot);
