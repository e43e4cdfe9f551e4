// The ridge and valley pass of one slot as the viewer runs it. Needs the 3-D
// window's context current.
#pragma once

#include "app/AppState.h"

// Draw mode: near-black lines of width 3 over the surface with the depth
// test on, for the kinds switched on ("Crestas", "Valles"); triangles facing
// away from view_state.eye (given in the slot's drawn frame) at all three
// corners get none. Collect mode (options.collect_mode): nothing is drawn;
// the vertices nearest to the lines are marked in slot.feature_marks (sized
// and cleared by the caller), back faces included. The per-vertex view
// values are computed on every pass, into a buffer reused between frames.
void draw_ridge_lines(MeshSlot& slot, const ViewState& view_state, const ViewOptions& options);
