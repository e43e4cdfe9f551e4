#include "app/view_setup.h"

#include <algorithm>

#include "app/alignment_actions.h"
#include "app/control_handles.h"
#include "registration/load_scan.h"

namespace {

constexpr float kViewDistance = 5.0f;  // the camera stands this many radii from the centre
constexpr float kEmptyLo = 1e38f;      // start of the box around the posed spheres

}  // namespace

PoseMatrix view_transform(const BoundingSphere& sphere) {
  return translation(0.0, 0.0, -kViewDistance * double(sphere.radius)) * translation(-sphere.center);
}

void update_view_sphere(AppState& app, int which) {
  ViewState& vs = *app.view_state;
  if (which == 0 || which == 1) {
    const MeshSlot& s = *app.aligner->slots[which];
    if (s.mesh) vs.spheres[which + 1] = s.mesh->bounding_sphere;
    return;
  }
  point lo(kEmptyLo, kEmptyLo, kEmptyLo), hi(-kEmptyLo, -kEmptyLo, -kEmptyLo);
  bool any = false;
  for (const auto& slot : app.aligner->slots) {
    if (!slot->loaded || !slot->mesh) continue;
    const BoundingSphere& b = slot->mesh->bounding_sphere;
    point c = slot->pose * b.center;
    for (int i = 0; i < 3; i++) {
      lo[i] = std::min(lo[i], c[i] - b.radius);
      hi[i] = std::max(hi[i], c[i] + b.radius);
    }
    any = true;
  }
  if (!any) return;
  point centre = 0.5f * (lo + hi);
  float radius = 0.0f;
  for (const auto& slot : app.aligner->slots) {
    if (!slot->loaded || !slot->mesh) continue;
    const BoundingSphere& b = slot->mesh->bounding_sphere;
    radius = std::max(radius, dist(slot->pose * b.center, centre) + b.radius);
  }
  vs.spheres[0].center = centre;
  vs.spheres[0].radius = radius;
  vs.spheres[0].valid = true;
}

void refresh_view_spheres(AppState& app) {
  ViewState& vs = *app.view_state;
  bool any = false;
  for (int k = 0; k < 2; k++) {
    const MeshSlot& s = *app.aligner->slots[k];
    vs.spheres[k + 1] = s.mesh ? s.mesh->bounding_sphere : BoundingSphere();
    any = any || (s.loaded && s.mesh);
  }
  if (!any) vs.spheres[0] = BoundingSphere();
  update_view_sphere(app, 2);
  vs.overlap_view = view_transform(vs.spheres[0]);
  vs.mesh1_view = view_transform(vs.spheres[1]);
  vs.mesh2_view = view_transform(vs.spheres[2]);
}

void reset_view(AppState& app) {
  ViewState& vs = *app.view_state;
  MeshSlot& s1 = *app.aligner->slots[0];
  MeshSlot& s2 = *app.aligner->slots[1];
  if (app.load_stage == 1) {
    read_slot_pose(s1);
    update_view_sphere(app, 2);
    vs.overlap_view = view_transform(vs.spheres[0]);
  } else if (app.load_stage == 2) {
    read_slot_pose(s1);
    read_slot_pose(s2);
    vs.initial_pose = s2.pose;
    ControlHandles& h = app.controls;
    if (h.pose_icp) h.pose_icp->disable();
    if (h.pose_color_icp) h.pose_color_icp->disable();
    app.shown_pose = 0;
    forget_runs(app);
    update_view_sphere(app, 0);
    update_view_sphere(app, 1);
    update_view_sphere(app, 2);
    vs.overlap_view = view_transform(vs.spheres[0]);
    vs.mesh1_view = view_transform(vs.spheres[1]);
    vs.mesh2_view = view_transform(vs.spheres[2]);
  }
  app.sync_live_all();
}

void centre_view(AppState& app) {
  if (app.load_stage == 0) return;
  ViewState& vs = *app.view_state;
  if (app.view_options->views_mode == 1) {
    update_view_sphere(app, 0);
    vs.mesh1_view = view_transform(vs.spheres[1]);
    update_view_sphere(app, 1);
    vs.mesh2_view = view_transform(vs.spheres[2]);
  } else {
    update_view_sphere(app, 2);
    vs.overlap_view = view_transform(vs.spheres[0]);
  }
  app.sync_live_all();
}

void views_changed(AppState& app) {
  if (Control* c = app.controls.move_mesh2) c->set_enabled(app.view_options->views_mode != 1);
}
