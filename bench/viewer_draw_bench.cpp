// The 3-D view's cost under the GL at hand (Mesa llvmpipe under Xvfb in our
// runs): on a 1M-vertex coloured scan, seconds from the start of a load to
// the first finished frame (the load's and the frame's seconds apart as
// counters), milliseconds per redraw of the overlapped view with the ridge
// and valley lines off and on, the CPU share of the ridge
// pass alone, and one redraw of the scan in both slots as their run preview
// against the two drawn whole; on the bunny scan pair bun000 + bun045 (from ../shared/data),
// milliseconds per frame of a left drag in the overlapped view (motion
// event with its depth probes, then the redraw). Needs an X display (run
// under xvfb-run -a); without one it says so and exits 0.
#include <benchmark/benchmark.h>

#include <GL/freeglut.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/AppState.h"
#include "app/load_mesh.h"
#include "app/mouse_input.h"
#include "app/view_setup.h"
#include "app/gui/draw_scene.h"
#include "app/gui/gl_camera_device.h"
#include "mesh/diagnostics.h"
#include "registration/load_scan.h"
#include "registration/ridge_lines.h"

namespace {

constexpr int kSide = 1000;  // 1000 x 1000 = 1M vertices
std::string g_path;

// A wavy coloured height field with crests (so ridge lines exist), as binary PLY.
bool write_scan(const std::string& path) {
  TriMesh m;
  m.vertices.reserve(size_t(kSide) * kSide);
  m.colors.reserve(size_t(kSide) * kSide);
  for (int y = 0; y < kSide; y++)
    for (int x = 0; x < kSide; x++) {
      float u = 6.0f * x / (kSide - 1), v = 6.0f * y / (kSide - 1);
      float z = 0.4f * std::sin(1.3f * u) * std::cos(1.1f * v) +
                0.3f * std::exp(-std::pow((u - 3.0f) / 0.2f, 2.0f));
      m.vertices.push_back(point(u, v, z));
      bool dark = (int(std::floor(2 * u)) + int(std::floor(2 * v))) % 2;
      m.colors.push_back(dark ? Color(0.9f, 0.15f, 0.15f) : Color(0.98f, 0.67f, 0.67f));
    }
  for (int y = 0; y + 1 < kSide; y++)
    for (int x = 0; x + 1 < kSide; x++) {
      int v = y * kSide + x;
      m.faces.push_back(Face(v, v + 1, v + kSide + 1));
      m.faces.push_back(Face(v, v + kSide + 1, v + kSide));
    }
  return m.write_mesh(path);
}

void finish_frame(AppState& app, GlCameraDevice& device) {
  draw_scene(app, device);
  glutSwapBuffers();
  glFinish();
}

void BM_LoadToFirstFrame(benchmark::State& state) {
  GlCameraDevice device;
  for (auto _ : state) {
    AppState app;
    auto start = std::chrono::steady_clock::now();
    if (!load_mesh_path(app, 0, g_path)) {
      state.SkipWithError("load failed");
      return;
    }
    auto loaded = std::chrono::steady_clock::now();
    finish_frame(app, device);
    auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    // The two parts apart: the load, and the first frame after it.
    state.counters["load_s"] = std::chrono::duration<double>(loaded - start).count();
    state.counters["frame_s"] = std::chrono::duration<double>(end - loaded).count();
  }
}
BENCHMARK(BM_LoadToFirstFrame)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BM_Redraw(benchmark::State& state) {
  static AppState* app = nullptr;
  if (!app) {
    app = new AppState();
    if (!load_mesh_path(*app, 0, g_path)) {
      state.SkipWithError("load failed");
      return;
    }
  }
  GlCameraDevice device;
  app->view_options->show_ridges = int(state.range(0));
  app->view_options->show_valleys = int(state.range(0));
  finish_frame(*app, device);  // warm-up: buffers grown, colours cached
  for (auto _ : state) finish_frame(*app, device);
}
BENCHMARK(BM_Redraw)->Arg(0)->Arg(1)->ArgName("ridges")->Unit(benchmark::kMillisecond)->MinTime(3.0);

// One redraw of the overlapped view while a run goes on, with the 1M-vertex
// scan in both slots, so both are drawn as their run preview; with the
// argument 0 the same two scans drawn whole, for the ratio. CPU time is the
// whole process's: the software renderer draws on threads of its own.
void BM_RunPreviewPair(benchmark::State& state) {
  static AppState* app = nullptr;
  if (!app) {
    app = new AppState();
    if (!load_mesh_path(*app, 0, g_path) || !load_mesh_path(*app, 1, g_path)) {
      state.SkipWithError("load failed");
      return;
    }
    reset_view(*app);
  }
  GlCameraDevice device;
  app->run_active = state.range(0) != 0;
  finish_frame(*app, device);  // warm-up: buffers uploaded
  for (auto _ : state) finish_frame(*app, device);
  app->run_active = false;
}
BENCHMARK(BM_RunPreviewPair)->MeasureProcessCPUTime()->Arg(1)->Arg(0)->ArgName("preview")->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One frame of a drag on the bunny pair: the motion event turns the overlapped
// view (reading the depth of the last frame), then the view is redrawn.
void BM_BunnyPairDrag(benchmark::State& state) {
  const std::string dir = std::string(ICP_SOURCE_DIR) + "/../shared/data/stanford_bunny_scans/";
  AppState app;
  if (!load_mesh_path(app, 0, dir + "bun000.ply") || !load_mesh_path(app, 1, dir + "bun045.ply")) {
    state.SkipWithError("bunny scans not found");
    return;
  }
  reset_view(app);
  GlCameraDevice device;
  ButtonMask buttons;
  finish_frame(app, device);
  mouse_button(app, device, buttons, 0, true, 300, 400);
  int step = 0;
  for (auto _ : state) {
    step++;
    // Back and forth, so the view stays on the scans however long it runs.
    int x = 300 + ((step / 40) % 2 ? 40 - step % 40 : step % 40) * 3;
    mouse_motion(app, device, buttons, x, 400);
    finish_frame(app, device);
  }
  mouse_button(app, device, buttons, 0, false, 300, 400);
}
BENCHMARK(BM_BunnyPairDrag)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The CPU share of the ridge pass per redraw, without the GL: the per-vertex
// view values and the face loop for ridges and valleys.
void BM_RidgePassCpu(benchmark::State& state) {
  MeshSlot slot;
  if (!load_scan(slot, 0, g_path)) {
    state.SkipWithError("load failed");
    return;
  }
  const TriMesh& mesh = *slot.mesh;
  const float threshold = ridge_curvature_threshold(0.2f, slot.curvature_scale);
  const point eye(3.0f, 3.0f, 20.0f);
  std::vector<float> ndotv(mesh.vertices.size());
  std::vector<RidgeSegment> segments;
  for (auto _ : state) {
    for (size_t i = 0; i < ndotv.size(); i++) {
      point v = eye - mesh.vertices[i];
      normalize(v);
      ndotv[i] = dot(v, mesh.normals[i]);
    }
    segments.clear();
    trace_ridge_lines(mesh, RidgeKind::ridge, threshold, ndotv.data(), segments);
    trace_ridge_lines(mesh, RidgeKind::valley, threshold, ndotv.data(), segments);
    benchmark::DoNotOptimize(segments.data());
  }
  state.counters["segments"] = double(segments.size());
}
BENCHMARK(BM_RidgePassCpu)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::printf("viewer_draw_bench: no X display; run it under xvfb-run -a\n");
    return 0;
  }
  XCloseDisplay(display);
  set_verbose(false);
  g_path = "/tmp/viewer_draw_bench_scan.ply";
  if (!write_scan(g_path)) return 1;
  glutInitWindowSize(1024, 900);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutInit(&argc, argv);
  glutCreateWindow("viewer_draw_bench");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::remove(g_path.c_str());
  return 0;
}
