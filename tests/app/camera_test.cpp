#include "app/camera.h"

#include <gtest/gtest.h>

#include "support.h"

namespace {

const point kCentre(0.0f, 0.0f, -10.0f);  // scene centre in eye coordinates
constexpr float kSize = 2.0f;

// Eye-space z of window depth wz at the viewport centre.
float eye_z_at(const FakeDevice& d, double wz) {
  point p;
  EXPECT_TRUE(unproject_point(d.state, 400, 300, wz, p));
  return p.z;
}

// A camera set up over the scene, with a wall at `wall` (0: background only).
struct CameraMouse : ::testing::Test {
  FakeDevice d;
  ViewCamera cam;
  void set_up(float wall) {
    d.wall_depth = wall;
    camera_setup(cam, d, kCentre, kSize);
  }
};

}  // namespace

TEST(ActionFromMask, WheelThenRightThenMiddleThenLeft) {
  EXPECT_EQ(action_from_mask(0), kActionNone);
  EXPECT_EQ(action_from_mask(1), kActionRotate);
  EXPECT_EQ(action_from_mask(2), kActionDolly);
  EXPECT_EQ(action_from_mask(1 | 2), kActionDolly);
  EXPECT_EQ(action_from_mask(4), kActionPan);
  EXPECT_EQ(action_from_mask(1 | 4), kActionPan);
  EXPECT_EQ(action_from_mask(8 | 1), kActionWheelUp);
  EXPECT_EQ(action_from_mask(16 | 4), kActionWheelDown);
}

TEST(CameraSetup, FitsNearAndFarAroundTheScene) {
  FakeDevice d;
  ViewCamera cam;
  camera_setup(cam, d, kCentre, kSize);
  // Eye outside the sphere: near = 10 - 2, far = 10 + 2.
  EXPECT_NEAR(eye_z_at(d, 0.0), -8.0f, 1e-3);
  EXPECT_NEAR(eye_z_at(d, 1.0), -12.0f, 1e-3);
  EXPECT_FLOAT_EQ(cam.surface_depth, 8.0f);  // pulled up to the near plane

  // A surface seen at the centre sets the surface depth (and tightens near).
  d.wall_depth = 9.0f;
  camera_setup(cam, d, kCentre, kSize);
  EXPECT_NEAR(cam.surface_depth, 9.0f, 1e-3);
}

TEST(CameraReadDepth, FindsTheWallAndNotTheBackground) {
  FakeDevice d;
  ViewCamera cam;
  camera_setup(cam, d, kCentre, kSize);
  point p;
  EXPECT_FALSE(camera_read_depth(d, 400, 300, p));
  d.wall_depth = 9.5f;
  ASSERT_TRUE(camera_read_depth(d, 400, 300, p));
  EXPECT_NEAR(p.z, -9.5f, 1e-3);
  EXPECT_NEAR(p.x, 0.0f, 1e-3);
  // Probes outside the viewport are clamped into it.
  EXPECT_TRUE(camera_read_depth(d, 5000, -40, p));
}

TEST_F(CameraMouse, PressOnlyStartsThenRotatesAboutTheRotationCentre) {
  set_up(9.0f);
  PoseMatrix t = translation(0, 0, -10);
  const PoseMatrix before = t;
  camera_mouse(cam, d, 400, 300, kActionRotate, kCentre, kSize, t);
  EXPECT_TRUE(poses_near(t, before));  // the press only starts the drag
  camera_mouse(cam, d, 440, 300, kActionRotate, kCentre, kSize, t);
  EXPECT_FALSE(poses_near(t, before));
  // The rotation centre keeps its place on screen.
  point rc(cam.rotation_centre);
  point scene_point = inverse(before) * rc;
  point now = t * scene_point;
  EXPECT_NEAR(dist(now, rc), 0.0f, 1e-3f);
  // A horizontal drag turns about the vertical axis: y is untouched.
  EXPECT_NEAR(t.at(1, 1), 1.0, 1e-6);
  camera_mouse(cam, d, 440, 300, kActionNone, kCentre, kSize, t);
  EXPECT_EQ(cam.last_action, kActionNone);
}

TEST_F(CameraMouse, BackgroundClickStillRotates) {
  set_up(0.0f);  // nothing under the cursor anywhere
  PoseMatrix t;
  camera_mouse(cam, d, 100, 100, kActionRotate, kCentre, kSize, t);
  EXPECT_FLOAT_EQ(cam.click_depth, cam.surface_depth);
  camera_mouse(cam, d, 100, 140, kActionRotate, kCentre, kSize, t);
  EXPECT_FALSE(poses_near(t, PoseMatrix()));
}

TEST_F(CameraMouse, PanFollowsTheCursorAtTheClickDepth) {
  set_up(9.0f);
  PoseMatrix t;
  camera_mouse(cam, d, 400, 300, kActionPan, kCentre, kSize, t);
  camera_mouse(cam, d, 410, 290, kActionPan, kCentre, kSize, t);  // right 10, up 10 on screen
  const double step = double(cam.click_depth) * cam.pixel_scale * 10.0;
  EXPECT_NEAR(t[12], step, 1e-6);
  EXPECT_NEAR(t[13], step, 1e-6);
  EXPECT_NEAR(t[14], 0.0, 1e-9);
  // A point on the wall under the cursor moves by as many pixels as the cursor.
  GlSnapshot s = d.state;
  double a[3], b[3];
  project_point(s, point(0, 0, -9), a);
  project_point(s, t * point(0, 0, -9), b);
  EXPECT_NEAR(b[0] - a[0], 10.0, 0.5);
}

TEST_F(CameraMouse, DollyDownMovesInAndWheelStepsTwentyPercent) {
  set_up(9.0f);
  PoseMatrix t;
  camera_mouse(cam, d, 400, 300, kActionDolly, kCentre, kSize, t);
  camera_mouse(cam, d, 400, 320, kActionDolly, kCentre, kSize, t);  // down
  EXPECT_GT(t[14], 0.0);  // scene comes toward the eye
  EXPECT_LT(cam.click_depth, 9.0f);

  ViewCamera wheel_cam;
  camera_setup(wheel_cam, d, kCentre, kSize);
  PoseMatrix w;
  camera_mouse(wheel_cam, d, 400, 300, kActionWheelDown, kCentre, kSize, w);  // acts at once
  EXPECT_NEAR(w[14], 0.2 * 9.0, 1e-3);
  camera_mouse(wheel_cam, d, 400, 300, kActionNone, kCentre, kSize, w);
  PoseMatrix up;
  camera_mouse(wheel_cam, d, 400, 300, kActionWheelUp, kCentre, kSize, up);
  EXPECT_LT(up[14], 0.0);  // wheel up sends the scene away
}
