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

// Draws the 3-D area for the current load stage and flushes standard output.
// The caller draws the panel and swaps buffers afterwards.
void draw_scene(AppState& app, GlCameraDevice& device);

// White colour and depth 1.0 over the current scissor box, with dithering,
// blending, depth test, normalisation, lighting and colour material off.
void clear_frame();

// Material and light settings of one slot ("Luz", "Brillo", "Ver ambas
// caras"); lighting off when "Luz" is off or the mesh has no normals.
void setup_lighting(const MeshSlot& slot);

// Draws one slot under the current modelview (its pose applied in the
// overlapped view): triangle strips from client-side arrays, one strip per
// call, or one-pixel points for a point set; the colour mode (building the
// significant colours when the whole-number tolerance changed); the ridge
// and valley lines; the blue wire overlay. A slot without a mesh draws nothing.
void draw_mesh_slot(MeshSlot& slot, const ViewOptions& options, ViewState& view_state);

// Ridge and valley lines of one slot in near-black, width 3, with the depth
// test on; back-facing triangles (seen from view_state.eye, given in the
// slot's drawn frame) get none. Only the kinds switched on are drawn.
void draw_ridge_lines(const MeshSlot& slot, const ViewState& view_state,
                      const ViewOptions& options);
