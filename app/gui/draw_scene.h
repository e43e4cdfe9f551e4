// The 3-D view: the display pass laying out one view (both meshes overlapped
// in the common frame) or two (mesh 1 above, mesh 2 below, each in its own
// frame, a one-pixel black line between), and the drawing of one mesh slot
// with its appearance switches. Needs the 3-D window's context current.
//
// Per redraw the CPU work is linear in the mesh sizes and allocates nothing
// once the reused buffers (ridge lines, per-vertex view values) have grown.
#pragma once

#include "app/AppState.h"
#include "app/gui/gl_camera_device.h"
#include "app/gui/clear_frame.h"

// Draws the 3-D area for the current load stage (the display hook). The
// window swaps the buffers and flushes standard output afterwards.
void draw_scene(AppState& app, GlCameraDevice& device);

// Material and light settings of one slot ("Luz", "Brillo", "Ver ambas
// caras"); lighting off when "Luz" is off or the mesh has no normals.
void setup_lighting(const MeshSlot& slot);

// Draws one slot under the current modelview (its pose applied in the
// overlapped view): triangle strips from client-side arrays, one strip per
// call, or one-pixel points for a point set; the colour mode (building the
// significant colours when the whole-number tolerance changed); the ridge
// and valley lines; the blue wire overlay. A slot without a mesh draws nothing.
void draw_mesh_slot(MeshSlot& slot, const ViewOptions& options, ViewState& view_state);

// The ridge and valley pass of one slot. Draw mode: near-black lines of
// width 3 with the depth test on; back-facing triangles (seen from
// view_state.eye, given in the slot's drawn frame) get none. Collect mode
// (options.collect_mode): nothing is drawn; the vertices nearest to the lines
// are marked in slot.feature_marks (sized and cleared by the caller), back
// faces included. Only the kinds switched on are traced.
void draw_ridge_lines(MeshSlot& slot, const ViewState& view_state, const ViewOptions& options);
