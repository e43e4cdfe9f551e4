// The ridge and valley pass of one slot as the viewer runs it. Needs the 3-D
// window's context current.
#pragma once

#include "app/AppState.h"

// Near-black lines of width 3 over the surface with the depth test on, for
// the kinds switched on ("Crestas", "Valles"); triangles facing away from
// `eye` (given in the frame of the slot's vertices) at all three corners get
// none. The per-vertex view values are computed on every pass, into a buffer
// reused between frames.
void draw_ridge_lines(const MeshSlot& slot, const point& eye, const ViewOptions& options);
