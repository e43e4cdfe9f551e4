#include "app/mouse_input.h"

#include "app/alignment_actions.h"
#include "app/camera.h"
#include "app/view_setup.h"

void mouse_button(AppState& app, CameraDevice& device, ButtonMask& mask, int button,
                  bool pressed, int x, int y) {
  if (button >= 0 && button <= 4) {
    if (pressed) {
      mask.bits |= 1 << button;
    } else {
      mask.bits &= ~(1 << button);
    }
  }
  if (pressed && app.view_options->views_mode == 1) {
    device.auto_set_viewport();
    GlSnapshot state;
    device.read_state(state);
    const int y0 = state.viewport[1], h = state.viewport[3];
    int yy = y0 + h - 1 - y;
    app.view_options->active_view = yy > y0 + h / 2;
  }
  mouse_motion(app, device, mask, x, y);
}

void mouse_motion(AppState& app, CameraDevice& device, const ButtonMask& mask, int x, int y) {
  if (app.load_stage == 0) return;
  const int action = action_from_mask(mask.bits);
  device.auto_set_viewport();
  GlSnapshot state;
  device.read_state(state);
  const int x0 = state.viewport[0], y0 = state.viewport[1];
  const int w = state.viewport[2], h = state.viewport[3];
  ViewState& vs = *app.view_state;
  ViewOptions& vo = *app.view_options;

  if (app.load_stage == 1) {
    // Mesh 1 alone: the drag also gives mesh 1's split view the same framing.
    point c = vs.overlap_view * vs.spheres[0].center;
    float r = vs.spheres[0].radius;
    camera_setup(vs.cameras[1], device, c, r);
    camera_mouse(vs.cameras[1], device, x, y, action, c, r, vs.overlap_view);
    vs.mesh1_view = vs.overlap_view;
    vs.spheres[1] = vs.spheres[0];
    return;
  }

  if (vo.views_mode == 1) {
    if (vo.active_view) {
      device.set_viewport(x0, y0 + h / 2, w, h / 2);
      point c = vs.mesh1_view * vs.spheres[1].center;
      float r = vs.spheres[1].radius;
      camera_setup(vs.cameras[1], device, c, r);
      camera_mouse(vs.cameras[1], device, x, y, action, c, r, vs.mesh1_view);
    } else {
      device.set_viewport(x0, y0, w, h / 2);
      point c = vs.mesh2_view * vs.spheres[2].center;
      float r = vs.spheres[2].radius;
      camera_setup(vs.cameras[2], device, c, r);
      camera_mouse(vs.cameras[2], device, x, y - h / 2, action, c, r, vs.mesh2_view);
    }
    return;
  }

  // While a trial batch runs, mesh 2's pose belongs to the batch (its start
  // and results are being recorded): a drag then turns the view only.
  if (vo.move_mesh2 && !trial_batch_running(app)) {
    // Drag mesh 2 in the common frame: the camera acts on view · pose, and the
    // pose is recovered from the result; the view itself stays put.
    MeshSlot& s2 = *app.aligner->slots[1];
    if (!s2.mesh) return;
    PoseMatrix moved = vs.overlap_view * s2.pose;
    const BoundingSphere& b = s2.mesh->bounding_sphere;
    camera_mouse(vs.cameras[0], device, x, y, action, moved * b.center, b.radius, moved);
    s2.pose = inverse(vs.overlap_view) * moved;
    vs.initial_pose = s2.pose;
    update_view_sphere(app, 2);
    return;
  }
  point c = vs.overlap_view * vs.spheres[0].center;
  camera_mouse(vs.cameras[0], device, x, y, action, c, vs.spheres[0].radius, vs.overlap_view);
}
