#include "app/view_setup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support.h"

namespace {

using ResetView = PanelTest;
using ViewsChanged = PanelTest;

}  // namespace

TEST(UpdateViewSphere, BothMeshesInTheCommonFrame) {
  AppState app;
  // Mesh 1 at the origin (r 1); mesh 2 at local (0,0,0) r 2, posed to x = 10.
  put_mesh(app, 0, point(0, 0, 0), 1.0f);
  put_mesh(app, 1, point(0, 0, 0), 2.0f, translation(10, 0, 0));
  update_view_sphere(app, 2);
  const BoundingSphere& s = app.view_state->spheres[0];
  // Box of the posed spheres: x in [-1, 12], y, z in [-2, 2] -> centre (5.5, 0, 0).
  EXPECT_FLOAT_EQ(s.center.x, 5.5f);
  EXPECT_FLOAT_EQ(s.center.y, 0.0f);
  // Largest |c' - centre| + r: mesh 2 gives 4.5 + 2 = 6.5 (mesh 1: 5.5 + 1).
  EXPECT_FLOAT_EQ(s.radius, 6.5f);

  // Per-mesh spheres ignore the pose.
  update_view_sphere(app, 1);
  EXPECT_FLOAT_EQ(app.view_state->spheres[2].center.x, 0.0f);
  EXPECT_FLOAT_EQ(app.view_state->spheres[2].radius, 2.0f);
}

TEST(UpdateViewSphere, NothingLoadedLeavesTheSphereAlone) {
  AppState app;
  app.view_state->spheres[0].radius = 7.0f;
  update_view_sphere(app, 2);
  EXPECT_FLOAT_EQ(app.view_state->spheres[0].radius, 7.0f);
  // A slot with a mesh but not marked loaded is not counted.
  put_mesh(app, 0, point(1, 1, 1), 3.0f);
  app.aligner->slots[0]->loaded = false;
  update_view_sphere(app, 2);
  EXPECT_FLOAT_EQ(app.view_state->spheres[0].radius, 7.0f);
}

TEST_F(ResetView, RereadsPosesAndReframesEveryView) {
  const ControlHandles& h = app.controls;
  put_mesh(app, 0, point(0, 0, 0), 1.0f);
  put_mesh(app, 1, point(0, 0, 0), 1.0f, translation(3, 0, 0));  // moved by hand
  MeshSlot& s1 = *app.aligner->slots[0];
  MeshSlot& s2 = *app.aligner->slots[1];
  std::string xf = tmp_path("reset_mesh2.xf");
  ASSERT_TRUE(write_pose(translation(0, 5, 0), xf));
  s2.file_name = tmp_path("reset_mesh2.ply");
  s2.xf_name = xf;
  s1.file_name = tmp_path("reset_missing.ply");
  s1.xf_name = tmp_path("reset_missing.xf");
  s1.pose = translation(1, 1, 1);
  app.load_stage = 2;
  app.shown_pose = 2;
  app.view_state->overlap_view = translation(9, 9, 9);
  h.pose_icp->enable();
  h.pose_color_icp->enable();

  reset_view(app);
  EXPECT_TRUE(poses_near(s1.pose, PoseMatrix()));  // no pose file: identity
  EXPECT_TRUE(poses_near(s2.pose, translation(0, 5, 0)));
  EXPECT_TRUE(poses_near(app.view_state->initial_pose, translation(0, 5, 0)));
  EXPECT_EQ(app.shown_pose, 0);
  EXPECT_FALSE(h.pose_icp->enabled);
  EXPECT_FALSE(h.pose_color_icp->enabled);
  EXPECT_EQ(h.shown_pose->shown_int, 0);  // the panel shows "INICIAL" again
  EXPECT_TRUE(poses_near(app.view_state->overlap_view, view_transform(app.view_state->spheres[0])));
  EXPECT_FLOAT_EQ(app.view_state->spheres[0].center.y, 2.5f);
  std::remove(xf.c_str());
}

TEST_F(ResetView, StageZeroOnlyRefreshesThePanel) {
  app.view_state->overlap_view = translation(1, 2, 3);
  app.view_options->show_ridges = 1;  // changed behind the panel
  reset_view(app);
  EXPECT_TRUE(poses_near(app.view_state->overlap_view, translation(1, 2, 3)));
  EXPECT_EQ(app.controls.ridges->shown_int, 1);
}

TEST(CentreView, ReframesOnlyTheViewsShownAndKeepsPoses) {
  AppState app;
  centre_view(app);  // nothing loaded: nothing at all
  EXPECT_TRUE(poses_near(app.view_state->overlap_view, PoseMatrix(), 0.0));

  put_mesh(app, 0, point(0, 0, 0), 1.0f);
  put_mesh(app, 1, point(4, 0, 0), 1.0f, translation(0, 0, 2));
  app.load_stage = 2;
  const PoseMatrix dragged = translation(0.5, 0, -3);
  app.view_state->overlap_view = dragged;
  app.view_state->mesh1_view = dragged;
  app.view_state->mesh2_view = dragged;

  app.view_options->views_mode = 1;  // split: both mesh views, not the overlapped one
  centre_view(app);
  EXPECT_TRUE(poses_near(app.view_state->overlap_view, dragged));
  EXPECT_FLOAT_EQ((app.view_state->mesh2_view * point(4, 0, 0)).z, -5.0f);
  EXPECT_FLOAT_EQ((app.view_state->mesh1_view * point(0, 0, 0)).z, -5.0f);

  app.view_options->views_mode = 0;
  centre_view(app);
  EXPECT_FALSE(poses_near(app.view_state->overlap_view, dragged));
  EXPECT_TRUE(poses_near(app.aligner->slots[1]->pose, translation(0, 0, 2)));
}

TEST_F(ViewsChanged, MoveMesh2OnlyInTheOverlappedView) {
  Control* move = app.controls.move_mesh2;
  app.view_options->move_mesh2 = 1;
  app.view_options->views_mode = 1;
  views_changed(app);
  EXPECT_FALSE(move->enabled);
  EXPECT_EQ(app.view_options->move_mesh2, 1);  // the value is kept
  app.view_options->views_mode = 0;
  views_changed(app);
  EXPECT_TRUE(move->enabled);
}
