// Drawing one mesh slot as its run preview (app/run_preview.h): the chosen
// vertices as one-pixel points, lit by their normals (setup_lighting) and
// coloured as the slot's colour mode colours the whole mesh, under the
// slot's pose in the overlapped view. No ridge lines, no wire. Needs the 3-D
// window's context current.
#pragma once

#include "app/AppState.h"

// Draws the preview of `slot` under the current modelview; a slot without a
// mesh draws nothing. The points' arrays are gathered anew each frame (a
// pass over at most kPreviewPoints vertices) and uploaded only when they
// changed, so a pose change costs no upload and a new scan is never drawn
// with the old one's points.
void draw_run_preview(MeshSlot& slot, const ViewOptions& options);
