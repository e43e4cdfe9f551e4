#include "app/mouse_input.h"

#include <gtest/gtest.h>

#include "app/view_setup.h"
#include "support.h"

namespace {

// Two meshes loaded side by side, framed as after loading.
void two_meshes(AppState& app) {
  put_mesh(app, 0, point(0, 0, 0), 1.0f);
  put_mesh(app, 1, point(0, 0, 0), 1.0f, translation(1, 0, 0));
  app.load_stage = 2;
  for (int w = 0; w < 3; w++) update_view_sphere(app, w);
  ViewState& vs = *app.view_state;
  vs.overlap_view = view_transform(vs.spheres[0]);
  vs.mesh1_view = view_transform(vs.spheres[1]);
  vs.mesh2_view = view_transform(vs.spheres[2]);
}

void drag(AppState& app, FakeDevice& d, ButtonMask& mask, int x0, int y0, int x1, int y1) {
  mouse_button(app, d, mask, 0, true, x0, y0);
  mouse_motion(app, d, mask, (x0 + x1) / 2, (y0 + y1) / 2);
  mouse_motion(app, d, mask, x1, y1);
  mouse_button(app, d, mask, 0, false, x1, y1);
}

// A context with no panel, a fake 800 x 600 device and no button held.
struct MouseInput : ::testing::Test {
  AppState app;
  FakeDevice d;
  ButtonMask mask;
};

}  // namespace

TEST_F(MouseInput, OverlappedDragTurnsTheViewNotThePoses) {
  two_meshes(app);
  const PoseMatrix view = app.view_state->overlap_view;
  const PoseMatrix pose2 = app.aligner->slots[1]->pose;
  drag(app, d, mask, 400, 300, 450, 300);
  EXPECT_EQ(mask.bits, 0);
  EXPECT_FALSE(poses_near(app.view_state->overlap_view, view));
  EXPECT_TRUE(poses_near(app.aligner->slots[1]->pose, pose2));
}

TEST_F(MouseInput, MoveMesh2DragsMesh2AndRecordsTheInitialPose) {
  two_meshes(app);
  app.view_options->move_mesh2 = 1;
  const PoseMatrix view = app.view_state->overlap_view;
  const PoseMatrix pose1 = app.aligner->slots[0]->pose;
  const PoseMatrix pose2 = app.aligner->slots[1]->pose;
  drag(app, d, mask, 400, 300, 400, 360);
  EXPECT_TRUE(poses_near(app.view_state->overlap_view, view));
  EXPECT_TRUE(poses_near(app.aligner->slots[0]->pose, pose1));
  EXPECT_FALSE(poses_near(app.aligner->slots[1]->pose, pose2));
  EXPECT_TRUE(poses_near(app.view_state->initial_pose, app.aligner->slots[1]->pose));
  // The moved mesh stays rigid: its pose is still a rotation plus a translation.
  const PoseMatrix& p = app.aligner->slots[1]->pose;
  point x = transform_direction(p, point(1, 0, 0));
  EXPECT_NEAR(len(x), 1.0f, 1e-5f);
}

TEST_F(MouseInput, SplitViewPicksTheHalfAtThePress) {
  two_meshes(app);
  app.view_options->views_mode = 1;
  const PoseMatrix v1 = app.view_state->mesh1_view;
  const PoseMatrix v2 = app.view_state->mesh2_view;
  // Window y grows downward: y = 100 is in the upper half (mesh 1).
  drag(app, d, mask, 400, 100, 400, 500);  // ends in the lower half: still mesh 1
  EXPECT_TRUE(app.view_options->active_view);
  EXPECT_FALSE(poses_near(app.view_state->mesh1_view, v1));
  EXPECT_TRUE(poses_near(app.view_state->mesh2_view, v2));

  const PoseMatrix v1_after = app.view_state->mesh1_view;
  drag(app, d, mask, 400, 500, 460, 500);
  EXPECT_FALSE(app.view_options->active_view);
  EXPECT_TRUE(poses_near(app.view_state->mesh1_view, v1_after));
  EXPECT_FALSE(poses_near(app.view_state->mesh2_view, v2));
  EXPECT_TRUE(poses_near(app.view_state->overlap_view, view_transform(app.view_state->spheres[0])));
}

TEST_F(MouseInput, MeshOneAloneSharesItsFramingWithTheSplitView) {
  put_mesh(app, 0, point(2, 0, 0), 1.0f);
  app.load_stage = 1;
  update_view_sphere(app, 2);
  app.view_state->overlap_view = view_transform(app.view_state->spheres[0]);
  drag(app, d, mask, 400, 300, 420, 330);
  EXPECT_TRUE(poses_near(app.view_state->mesh1_view, app.view_state->overlap_view, 0.0));
  EXPECT_FLOAT_EQ(app.view_state->spheres[1].radius, app.view_state->spheres[0].radius);
}

TEST_F(MouseInput, NothingLoadedMovesNothing) {
  mouse_button(app, d, mask, 2, true, 10, 10);
  EXPECT_EQ(mask.bits, 4);
  mouse_motion(app, d, mask, 50, 50);
  EXPECT_TRUE(poses_near(app.view_state->overlap_view, PoseMatrix(), 0.0));
  mouse_button(app, d, mask, 7, true, 10, 10);  // unknown button: mask unchanged
  EXPECT_EQ(mask.bits, 4);
}
