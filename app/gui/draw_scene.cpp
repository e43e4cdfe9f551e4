#include "app/gui/draw_scene.h"

#include <GL/gl.h>

#include "app/camera.h"
#include "app/gui/clear_frame.h"
#include "app/gui/draw_mesh_slot.h"
#include "app/gui/draw_run_preview.h"
#include "app/run_preview.h"

namespace {

// Draws one framed view: clear, camera, then the slots numbered `first` and
// `second` (-1: none), each whole or as its run preview. True when a preview
// was drawn.
bool draw_view(AppState& app, GlCameraDevice& device, const PoseMatrix& view,
               const BoundingSphere& sphere, ViewCamera& camera, int first, int second) {
  clear_frame();
  const point eye = inverse(view) * point(0.0f, 0.0f, 0.0f);  // in the common frame
  camera_setup(camera, device, view * sphere.center, sphere.radius);
  glPushMatrix();
  glMultMatrixd(view.m);
  bool preview = false;
  for (int k : {first, second}) {
    if (k < 0) continue;
    MeshSlot& s = *app.aligner->slots[k];
    if (!s.loaded || !s.mesh) continue;
    setup_lighting(s, app.appearance[k]);
    if (drawn_as_preview(app, s)) {
      draw_run_preview(s, *app.view_options);
      preview = true;
    } else {
      draw_mesh_slot(s, app.appearance[k], *app.view_options, eye);
    }
  }
  glPopMatrix();
  return preview;
}

}  // namespace

bool draw_scene(AppState& app, GlCameraDevice& device) {
  ViewState& vs = *app.view_state;
  device.auto_set_viewport();
  if (app.load_stage == 0) {
    glDisable(GL_SCISSOR_TEST);
    clear_frame();
    return false;
  }
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  GlSnapshot state;
  device.read_state(state);
  const int x = state.viewport[0], y = state.viewport[1];
  const int w = state.viewport[2], h = state.viewport[3];
  glEnable(GL_SCISSOR_TEST);

  bool preview = false;
  if (app.load_stage == 1) {
    device.set_viewport(x, y, w, h);
    preview = draw_view(app, device, vs.overlap_view, vs.spheres[0], vs.cameras[0], 0, -1);
  } else if (app.view_options->views_mode == 1) {
    const int half = h / 2;
    device.set_viewport(x, y, w, half);
    preview = draw_view(app, device, vs.mesh2_view, vs.spheres[2], vs.cameras[2], 1, -1);
    // One black row between the halves, then the upper half above it.
    device.set_viewport(x, y + half, w, half);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    device.set_viewport(x, y + half + 1, w, half - 1);
    preview |= draw_view(app, device, vs.mesh1_view, vs.spheres[1], vs.cameras[1], 0, -1);
  } else {
    device.set_viewport(x, y, w, h);
    preview = draw_view(app, device, vs.overlap_view, vs.spheres[0], vs.cameras[0], 0, 1);
  }
  // The panel is drawn over the whole window afterwards.
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_CULL_FACE);
  device.auto_set_viewport();
  return preview;
}
