#include "app/load_mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/panel_status.h"
#include "app/view_setup.h"
#include "registration/curvature_scale.h"
#include "spatial/KDtree.h"
#include "support.h"

namespace {


// A 5 x 5 height field (a bump) as an ascii PLY, with colours when asked,
// offset by dx along x so two files give different spheres.
void write_bump(const std::string& path, bool colors, float dx) {
  const int n = 5;
  std::ofstream f(path);
  f << "ply\nformat ascii 1.0\nelement vertex " << n * n << "\n"
    << "property float x\nproperty float y\nproperty float z\n";
  if (colors) f << "property uchar red\nproperty uchar green\nproperty uchar blue\n";
  f << "element face " << 2 * (n - 1) * (n - 1) << "\n"
    << "property list uchar int vertex_indices\nend_header\n";
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++) {
      float z = 0.2f * float((x - 2) * (x - 2) + (y - 2) * (y - 2)) / 8.0f;
      f << x + dx << " " << y << " " << z;
      if (colors) f << " " << 40 * x << " " << 40 * y << " 128";
      f << "\n";
    }
  for (int y = 0; y + 1 < n; y++)
    for (int x = 0; x + 1 < n; x++) {
      int v = y * n + x;
      f << "3 " << v << " " << v + 1 << " " << v + n + 1 << "\n";
      f << "3 " << v << " " << v + n + 1 << " " << v + n << "\n";
    }
}

struct Files {
  std::string colored = tmp_path("load_colored.ply");
  std::string colored_xf = tmp_path("load_colored.xf");
  std::string plain = tmp_path("load_plain.ply");
  std::string colored2 = tmp_path("load_colored2.ply");
  std::string dotless = tmp_path("load_dotless");
  std::string dotless_xf = tmp_path("load_dotless.xf");
  Files() {
    write_bump(colored, true, 0.0f);
    write_bump(plain, false, 10.0f);
    write_bump(colored2, true, 20.0f);
    write_bump(dotless, true, 0.0f);
    write_pose(translation(0, 0, 7), colored_xf);
    write_pose(translation(0, 0, 7), dotless_xf);
  }
  ~Files() {
    for (const std::string& p : {colored, colored_xf, plain, colored2, dotless, dotless_xf})
      std::remove(p.c_str());
  }
};

using LoadMesh = PanelTest;

}  // namespace

TEST_F(LoadMesh, CancelledDialogChangesNothing) {
  scripted.answers = {"cancel"};
  EXPECT_FALSE(load_mesh(app, 0));
  EXPECT_EQ(app.load_stage, 0);
  EXPECT_FALSE(app.aligner->slots[0]->mesh);
  ASSERT_EQ(scripted.calls.size(), 1u);
  EXPECT_EQ(scripted.calls[0].text, "Archivos PLY (*.ply)");  // the first filter
  EXPECT_FALSE(load_mesh(app, 4));  // not a load mode
}

TEST_F(LoadMesh, MeshOneThenColourlessMeshTwo) {
  Files files;
  const ControlHandles& h = app.controls;
  scripted.answers = {files.colored, files.plain};

  ASSERT_TRUE(load_mesh(app, 0));
  const MeshSlot& s1 = *app.aligner->slots[0];
  EXPECT_EQ(app.load_stage, 1);
  EXPECT_TRUE(s1.loaded);
  EXPECT_TRUE(poses_near(s1.pose, translation(0, 0, 7)));  // the .xf beside it
  EXPECT_GT(s1.curvature_scale, 0.0f);
  EXPECT_FALSE(s1.mesh->tristrips.empty());
  EXPECT_EQ(s1.mesh->neighbors.size(), 25u);
  ASSERT_TRUE(s1.kdtree);  // built beside the derived data, over the loaded vertices
  EXPECT_EQ(s1.kdtree->find_nearest(&s1.mesh->vertices[7][0]), &s1.mesh->vertices[7][0]);
  for (const Control* on : {h.load_mesh[1], h.appearance[0], h.color_real[0], h.tolerance[0],
                            h.geometry})
    EXPECT_TRUE(on->enabled) << on->label;
  for (const Control* off : {h.appearance[1], h.icp, h.prealign, h.move_mesh2})
    EXPECT_FALSE(off->enabled) << off->label;
  // The overlapped view frames mesh 1 at its pose, five radii away.
  point c = app.view_state->overlap_view * (s1.pose * s1.mesh->bounding_sphere.center);
  EXPECT_NEAR(c.z, -5.0f * s1.mesh->bounding_sphere.radius, 1e-4f);

  ASSERT_TRUE(load_mesh(app, 1));
  const MeshSlot& s2 = *app.aligner->slots[1];
  EXPECT_EQ(app.load_stage, 2);
  EXPECT_TRUE(poses_near(s2.pose, PoseMatrix()));  // no .xf beside it
  EXPECT_TRUE(poses_near(app.view_state->initial_pose, s2.pose));
  EXPECT_EQ(s2.color_mode, 0);  // colourless: "Color blanco"
  EXPECT_EQ(h.color_mode[1]->shown_int, 0);
  // "Mover malla2" in the overlapped view; mesh 1's controls are untouched.
  for (const Control* on : {h.appearance[1], h.color_white[1], h.icp, h.prealign, h.pose_initial, h.reset,
                            h.split, h.overlapped, h.move_mesh2, h.color_real[0]})
    EXPECT_TRUE(on->enabled) << on->label;
  // Mesh 2 has no colours: neither its colour modes nor the colour runs.
  for (const Control* off : {h.color_real[1], h.color_significant[1], h.color_icp, h.trial_batch})
    EXPECT_FALSE(off->enabled) << off->label;
}

TEST_F(LoadMesh, ReloadingMeshOneInStageTwoKeepsTheStageAndMeshTwosView) {
  Files files;
  const ControlHandles& h = app.controls;
  scripted.answers = {files.plain, files.colored2, files.colored};
  ASSERT_TRUE(load_mesh(app, 0));
  ASSERT_TRUE(load_mesh(app, 1));
  EXPECT_FALSE(h.color_icp->enabled);
  const PoseMatrix mesh2_view = app.view_state->mesh2_view;
  const PoseMatrix mesh1_view = app.view_state->mesh1_view;

  ASSERT_TRUE(load_mesh(app, 0));
  EXPECT_EQ(app.load_stage, 2);
  EXPECT_TRUE(poses_near(app.view_state->mesh2_view, mesh2_view, 0.0));
  EXPECT_FALSE(poses_near(app.view_state->mesh1_view, mesh1_view));  // re-framed (x 10 -> 0)
  EXPECT_TRUE(h.color_icp->enabled);  // both meshes have colours now
  EXPECT_TRUE(h.trial_batch->enabled);
  EXPECT_EQ(app.aligner->slots[0]->color_mode, 1);
  EXPECT_TRUE(h.color_real[0]->enabled);  // the panel enable brought it back
}

TEST_F(LoadMesh, PathWithoutDotGetsTheIdentityPose) {
  Files files;
  ASSERT_TRUE(load_mesh_path(app, 0, files.dotless));  // "load_dotless.xf" lies beside it
  EXPECT_TRUE(poses_near(app.aligner->slots[0]->pose, PoseMatrix(), 0.0));
  reset_view(app);  // the reset does not find it either
  EXPECT_TRUE(poses_near(app.aligner->slots[0]->pose, PoseMatrix(), 0.0));
}

// A pose file that is there but cannot be used is said on the console and
// in the status area, and the scan still loads: at the identity when the
// file is unreadable or singular, at its pose when that is merely not rigid.
// A pipe at its name is not waited on. The next outcome clears the warning.
TEST_F(LoadMesh, UnusablePoseFilesAreReportedAndTheScanStillLoads) {
  Files files;
  PoseMatrix stretched = translation(0, 0, 7);
  stretched.at(0, 0) = 2.0;
  const struct {
    std::string text;
    PoseMatrix pose;
    const char *console, *status;
  } cases[] = {
      {"1 0 0 0\n0 1 0 0\n0 0 1 7\n", PoseMatrix(), "holds only 12 of its sixteen numbers: the mesh is placed by the identity.",
       "Aviso: pose load_colored.xf s\xF3lo 12 de 16 n\xFAmeros; malla en la identidad"},
      {"1 0 0 0\n0 1 0 0\n0 0 0 7\n0 0 0 1\n", PoseMatrix(), "is singular", "singular; malla en la identidad"},
      {pose_to_string(stretched), stretched, "is not a rigid motion", "no es r\xEDgida, usada tal cual"},
      {"fifo", PoseMatrix(), "is not a regular file", "no es un archivo normal; malla en la identidad"}};
  for (const auto& c : cases) {
    std::remove(files.colored_xf.c_str());
    if (c.text == "fifo")
      ASSERT_EQ(::mkfifo(files.colored_xf.c_str(), 0600), 0);
    else
      std::ofstream(files.colored_xf) << c.text;
    testing::internal::CaptureStderr();
    load_command_line_meshes(app, {files.colored});
    std::string console = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(slot(0).mesh) << c.text;
    EXPECT_TRUE(poses_near(slot(0).pose, c.pose, 0.0)) << c.text;
    EXPECT_NE(console.find("Pose file " + files.colored_xf + " of mesh 1 " ), std::string::npos) << console;
    EXPECT_NE(console.find(c.console), std::string::npos) << console;
    const std::vector<std::string> lines = status_lines(app);
    EXPECT_EQ(lines[2], "Malla 1 cargada: 25 v\xE9rtices");
    EXPECT_NE(lines.back().find(c.status), std::string::npos) << lines.back();
    EXPECT_EQ(lines.back().rfind("Aviso: pose load_colored.xf ", 0), 0u) << lines.back();
  }
  set_outcome(app, "ICP fallido");
  EXPECT_EQ(status_lines(app).back(), "ICP fallido");
}

TEST_F(LoadMesh, FailedReadEmptiesTheSlotAndKeepsTheStage) {
  Files files;
  ASSERT_TRUE(load_mesh_path(app, 0, files.colored));
  Control* tolerance = app.controls.tolerance[0];
  panel.activate(*tolerance, 0, 7.5f);
  app.aligner->slots[0]->stored_name = tmp_path("load_missing.ply");
  EXPECT_FALSE(load_mesh(app, 2));
  EXPECT_FALSE(app.aligner->slots[0]->mesh);
  EXPECT_FALSE(app.aligner->slots[0]->loaded);
  EXPECT_EQ(app.load_stage, 1);
  EXPECT_TRUE(app.controls.load_mesh[1]->enabled);
  // The panel and the views show the emptied slot, not the mesh before it.
  EXPECT_EQ(tolerance->shown_float, app.aligner->slots[0]->color_tolerance);
  EXPECT_NE(tolerance->shown_float, 7.5f);
  EXPECT_FALSE(app.view_state->spheres[0].valid);
  EXPECT_FALSE(app.view_state->spheres[1].valid);

  // A stored name that exists loads like the dialog's choice.
  app.aligner->slots[1]->stored_name = files.colored2;
  EXPECT_TRUE(load_mesh(app, 3));
  EXPECT_EQ(app.load_stage, 2);
  EXPECT_EQ(app.aligner->slots[1]->file_name, files.colored2);
}

// A failed read of either mesh leaves no control working on the lost mesh:
// its appearance, the actions needing both meshes, the pose group and
// "Grabar" become unusable and the shown results are forgotten; loading the
// mesh again brings the controls back.
TEST_F(LoadMesh, FailedLoadDisablesWhatLostItsMesh) {
  Files files;
  const ControlHandles& h = app.controls;
  const std::string bad = tmp_path("load_bad.ply");
  std::ofstream(bad) << "not a mesh\n";
  for (int k = 0; k < 2; k++) {
    SCOPED_TRACE("mesh " + std::to_string(k + 1));
    ASSERT_TRUE(load_mesh_path(app, 0, files.colored));
    ASSERT_TRUE(load_mesh_path(app, 1, files.colored2));
    h.pose_icp->enable();
    h.save->enable();
    app.icp_run_fresh = true;
    app.aligner->icp.history = {1.0f};
    app.last_batch.done = true;
    scripted.answers = {bad};
    load_button(app, k);
    EXPECT_FALSE(h.appearance[k]->enabled);
    EXPECT_TRUE(h.appearance[1 - k]->enabled);
    EXPECT_TRUE(h.geometry->enabled);
    for (const Control* off : {h.prealign, h.icp, h.color_icp, h.trial_batch, h.move_mesh2,
                               h.pose_initial, h.pose_icp, h.save})
      EXPECT_FALSE(off->enabled) << off->label;
    EXPECT_TRUE(app.aligner->icp.history.empty());
    EXPECT_FALSE(app.last_batch.done);

    ASSERT_TRUE(load_mesh_path(app, k, k == 0 ? files.colored : files.colored2));
    for (const Control* on : {h.appearance[k], h.prealign, h.icp, h.color_icp, h.trial_batch,
                              h.move_mesh2, h.pose_initial})
      EXPECT_TRUE(on->enabled) << on->label;
  }
  std::remove(bad.c_str());
}

// With a window the scan is read while the window is handed its events: the
// panel then says what loads and takes no input (no "Cancelar": a read
// cannot be stopped) and the slot still holds the scan it had, so the view
// draws nothing half read; afterwards the panel is as a load without a
// window leaves it.
TEST_F(LoadMesh, LoadWithAWindowKeepsItDrawnAndLocked) {
  Files files;
  const ControlHandles& h = app.controls;
  ASSERT_TRUE(load_mesh_path(app, 0, files.colored));
  ASSERT_TRUE(load_mesh_path(app, 1, files.colored2));
  int pumps = 0;
  app.viewer.pump_events = [&](bool) {
    ++pumps;
    EXPECT_TRUE(app.loading);
    EXPECT_EQ(app.status.busy, "Cargando malla 2: load_plain.ply ...");
    EXPECT_FALSE(h.icp->enabled);
    EXPECT_FALSE(h.load_mesh[0]->enabled);
    EXPECT_FALSE(h.cancel->visible);
    EXPECT_EQ(slot(1).file_name, files.colored2);
  };
  scripted.answers = {files.plain};
  load_button(app, 1);
  EXPECT_GE(pumps, 1);
  EXPECT_FALSE(app.loading);
  EXPECT_EQ(app.status.busy, "");
  EXPECT_EQ(slot(1).file_name, files.plain);
  for (const Control* on : {h.load_mesh[0], h.load_mesh[1], h.icp, h.prealign, h.appearance[1]})
    EXPECT_TRUE(on->enabled) << on->label;
  EXPECT_FALSE(h.color_icp->enabled);  // mesh 2 has no colours
}

TEST_F(LoadMesh, CurvatureScaleSamplingCarriesOnBetweenLoads) {
  Files files;
  set_curvature_scale_generator_state(0);
  ASSERT_TRUE(load_mesh_path(app, 0, files.colored));
  // 25 vertices: 25 picks (fewer than 500), so the generator advanced 25 steps.
  uint32_t expected = 0;
  for (int i = 0; i < 25; i++) expected = expected * 1664525u + 1013904223u;
  EXPECT_EQ(curvature_scale_generator_state(), expected);

  // The scale by the rule, worked out with a full sort of the same picks.
  const TriMesh& m = *app.aligner->slots[0]->mesh;
  std::vector<float> samples;
  uint32_t g = 0;
  for (int i = 0; i < 25; i++) {
    g = g * 1664525u + 1013904223u;
    samples.push_back(std::fabs(m.principal_curv1[g % 25]));
    samples.push_back(std::fabs(m.principal_curv2[g % 25]));
  }
  std::sort(samples.begin(), samples.end());
  float a = 0.05f * m.bounding_sphere.radius;
  float q = samples[5];  // rank trunc(50 * 0.1)
  float b = q > 0.0f ? 0.01f / q : a;
  EXPECT_FLOAT_EQ(app.aligner->slots[0]->curvature_scale, std::min(a, b));

  // A second load of the same file goes on from there.
  ASSERT_TRUE(load_mesh_path(app, 0, files.colored));
  EXPECT_NE(curvature_scale_generator_state(), expected);
}
