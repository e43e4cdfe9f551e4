// Shared support of the application tests: a fresh context with the
// program's panel and a scripted platform, a camera device with a synthetic
// depth buffer (a flat wall at a fixed eye depth, or nothing), hand-built
// meshes, and temporary folders under the test run's temporary folder
// (ICP_TEST_TMP, else /tmp).
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/AppState.h"
#include "app/ScriptedPlatform.h"
#include "app/build_panel.h"
#include "app/camera.h"
#include "app/camera_device.h"

// A fresh context with the program's panel built on it, as start-up leaves
// it, and a scripted platform answering its dialogs.
class PanelTest : public ::testing::Test {
 protected:
  PanelTest() {
    app.dialogs = &scripted;
    build_control_panel(panel, app);
  }

  const ControlHandles& h() const { return app.controls; }
  MeshSlot& slot(int k) { return *app.aligner->slots[k]; }

  ScriptedPlatform scripted;
  AppState app;
  ControlPanel panel;  // last: it holds pointers into `app`
};

// Camera device over an 800 x 600 area. When `wall_depth` > 0 every pixel
// holds a surface at that eye depth; otherwise the buffer is background.
class FakeDevice : public CameraDevice {
 public:
  GlSnapshot state;
  float wall_depth = 0.0f;
  int area[4] = {0, 0, 800, 600};

  FakeDevice() { auto_set_viewport(); }
  void read_state(GlSnapshot& s) override { s = state; }
  bool read_pixel_depth(int, int, float& depth) override {
    if (wall_depth <= 0.0f) {
      depth = 1.0f;
      return true;
    }
    double win[3];
    project_point(state, point(0.0f, 0.0f, -wall_depth), win);
    depth = float(win[2]);
    return true;
  }
  void load_projection(const double p[16]) override {
    for (int i = 0; i < 16; i++) {
      state.projection[i] = p[i];
      state.modelview[i] = (i % 5 == 0) ? 1.0 : 0.0;
    }
  }
  void set_light_positions(const float*, const float*) override {}
  void set_viewport(int x, int y, int w, int h) override {
    state.viewport[0] = x;
    state.viewport[1] = y;
    state.viewport[2] = w;
    state.viewport[3] = h;
  }
  void auto_set_viewport() override { set_viewport(area[0], area[1], area[2], area[3]); }
};

// A mesh given only by its bounding sphere (what the scene set-up reads).
inline std::unique_ptr<TriMesh> sphere_mesh(const point& centre, float radius) {
  auto m = std::make_unique<TriMesh>();
  m->vertices = {centre + point(radius, 0, 0), centre - point(radius, 0, 0)};
  m->bounding_sphere.center = centre;
  m->bounding_sphere.radius = radius;
  m->bounding_sphere.valid = true;
  return m;
}

inline void put_mesh(AppState& app, int k, const point& centre, float radius,
                     const PoseMatrix& pose = PoseMatrix()) {
  MeshSlot& s = *app.aligner->slots[k];
  s.mesh = sphere_mesh(centre, radius);
  s.pose = pose;
  s.loaded = true;
}

constexpr double kPoseTol = 1e-9;

inline bool poses_near(const PoseMatrix& a, const PoseMatrix& b, double tol = 1e-6) {
  for (int i = 0; i < 16; i++)
    if (std::fabs(a[i] - b[i]) > tol) return false;
  return true;
}

// The path of `name` in this process's own folder under the temporary
// folder: ctest runs each test as its own process, two at a time, and tests
// that write files of the same name must not remove each other's.
inline std::string tmp_path(const std::string& name) {
  static const std::string folder = [] {
    const char* root = std::getenv("ICP_TEST_TMP");
    std::string path = std::string(root ? root : "/tmp") + "/app_" + std::to_string(getpid());
    mkdir(path.c_str(), 0755);
    return path;
  }();
  return folder + "/" + name;
}

// The folder `name` under the temporary folder, created when missing.
inline std::string tmp_dir(const std::string& name) {
  std::string path = tmp_path(name);
  if (mkdir(path.c_str(), 0755) != 0) {
    EXPECT_EQ(errno, EEXIST) << path;
  }
  return path;
}

// The whole file as bytes; empty when it cannot be read.
inline std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
