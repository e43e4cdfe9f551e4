// Drawing one mesh slot with its appearance switches: lighting with a
// specular highlight ("Luz", "Brillo"), one- or two-sided faces ("Ver ambas
// caras"), the three colour modes, the ridge and valley lines and the blue
// wire overlay ("Ver mallado"). Needs the 3-D window's context current.
//
// The mesh's arrays live in GL buffer objects (mesh_buffers.h), uploaded on
// the first draw and again only when the data or the colour mode's colours
// change; per redraw the CPU work is one checksum pass over the arrays. The
// significant colours are rebuilt only when the whole-number tolerance
// changes.
#pragma once

#include "app/AppState.h"

// Material and light settings of one slot; lighting off when "Luz" is off or
// the mesh has no normals.
void setup_lighting(const MeshSlot& slot, const SlotAppearance& look);

// Draws one slot under the current modelview (its pose applied in the
// overlapped view): all triangle strips in one multi-draw call, or
// one-pixel points for a point set (no lines, no wire); the colour
// mode; the ridge and valley lines; the wire overlay. A slot without a mesh
// draws nothing. `eye` is the eye point in the common frame.
void draw_mesh_slot(MeshSlot& slot, const SlotAppearance& look, const ViewOptions& options,
                    const point& eye);
