// The display pass of the 3-D view: one view (both meshes overlapped in the
// common frame) or two (mesh 1 above, mesh 2 below, each in its own frame,
// a one-pixel black line between). Needs the 3-D window's context current.
#pragma once

#include "app/AppState.h"
#include "app/gui/gl_camera_device.h"

// Draws the 3-D area for the current load stage (the display hook): with
// nothing loaded a white clear; otherwise per view the clear, the eye point,
// the camera set-up and each loaded slot with its lighting, whole or, while
// a run goes on, as its preview (app/run_preview.h). True when a preview was
// drawn. The window swaps the buffers and flushes standard output afterwards.
bool draw_scene(AppState& app, GlCameraDevice& device);
