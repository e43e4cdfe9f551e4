// Derived mesh geometry on a 1M-vertex height field (1000 x 1000 grid, two
// triangles per cell, explicit faces): normals, the exact bounding sphere,
// curvatures (with point areas) and dcurv, each timed on a fresh copy of the
// mesh, plus the four together as the loading sequence runs them. The real
// scans of the shared data folder run the same sequence (file normals
// dropped so that they are computed) and report, besides the time, how many
// vertices end outside the bounding sphere or with a non-finite curvature.
#include <cmath>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"

namespace {

const int kGrid = 1000;

// A smooth, non-trivial surface so that curvature fits do real work.
const TriMesh& height_field() {
  static TriMesh mesh = [] {
    TriMesh m;
    m.vertices.reserve(size_t(kGrid) * kGrid);
    for (int y = 0; y < kGrid; y++) {
      for (int x = 0; x < kGrid; x++) {
        float u = x * 0.01f, v = y * 0.01f;
        m.vertices.push_back(point(u, v, 0.3f * std::sin(1.7f * u) * std::cos(1.3f * v)));
      }
    }
    m.faces.reserve(size_t(2) * (kGrid - 1) * (kGrid - 1));
    for (int y = 0; y + 1 < kGrid; y++) {
      for (int x = 0; x + 1 < kGrid; x++) {
        int i = y * kGrid + x;
        m.faces.push_back(Face(i, i + 1, i + kGrid + 1));
        m.faces.push_back(Face(i, i + kGrid + 1, i + kGrid));
      }
    }
    return m;
  }();
  return mesh;
}

// Runs `step` on a fresh copy of the mesh after `prepare`; only `step` is timed.
template <typename Prepare, typename Step>
void run(benchmark::State& state, Prepare prepare, Step step) {
  set_verbose(false);
  for (auto _ : state) {
    state.PauseTiming();
    TriMesh m = height_field();
    prepare(m);
    state.ResumeTiming();
    step(m);
    benchmark::DoNotOptimize(m.vertices.data());
  }
  state.counters["vertices"] = double(height_field().vertices.size());
}

void BM_Normals(benchmark::State& state) {
  run(state, [](TriMesh&) {}, [](TriMesh& m) { m.need_normals(); });
}

void BM_BoundingSphere(benchmark::State& state) {
  run(state, [](TriMesh&) {}, [](TriMesh& m) { m.need_bounding_sphere(); });
}

void BM_Curvatures(benchmark::State& state) {
  run(state, [](TriMesh& m) { m.need_normals(); }, [](TriMesh& m) { m.need_curvatures(); });
}

void BM_Dcurv(benchmark::State& state) {
  run(state, [](TriMesh& m) { m.need_curvatures(); }, [](TriMesh& m) { m.need_dcurv(); });
}

// Normals + bounding sphere + curvatures + dcurv from a bare mesh: the goal
// is under 1.5 s on the 2-core development machine.
void BM_AllDerived(benchmark::State& state) {
  run(state, [](TriMesh&) {},
      [](TriMesh& m) {
        m.need_normals();
        m.need_bounding_sphere();
        m.need_curvatures();
        m.need_dcurv();
      });
}

// The same vertices as a point cloud: one k-d tree and 1M 6-nearest queries.
void BM_PointCloudNormals(benchmark::State& state) {
  run(state, [](TriMesh& m) { m.faces.clear(); }, [](TriMesh& m) { m.need_normals(); });
}

const char* const kScans[] = {
    "stanford_bunny_scans/bun000.ply",                              // range grid
    "open3d_redwood_frag115/frag_115.ply",                          // faces
    "pcl_kinect_grabber_frames/frame_20121214T142255.814212_points.ply",  // point set
};

void BM_RealScan(benchmark::State& state) {
  set_verbose(false);
  const std::string path =
      std::string(ICP_SOURCE_DIR "/../shared/data/") + kScans[state.range(0)];
  std::unique_ptr<TriMesh> original(TriMesh::read_mesh(path));
  if (!original) {
    state.SkipWithError(("cannot read " + path).c_str());
    return;
  }
  original->normals.clear();
  int outside = 0, nonfinite = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TriMesh m = *original;
    state.ResumeTiming();
    m.need_normals();
    m.need_bounding_sphere();
    m.need_curvatures();
    m.need_dcurv();
    state.PauseTiming();
    const BoundingSphere& s = m.bounding_sphere;
    outside = nonfinite = 0;
    for (size_t i = 0; i < m.vertices.size(); i++) {
      if (dist(m.vertices[i], s.center) > s.radius * (1.0f + 1e-5f)) outside++;
      if (!std::isfinite(m.principal_curv1[i] + m.principal_curv2[i] + m.dcurv[i][0] +
                         m.dcurv[i][1] + m.dcurv[i][2] + m.dcurv[i][3]))
        nonfinite++;
    }
    state.ResumeTiming();
  }
  state.SetLabel(kScans[state.range(0)]);
  state.counters["vertices"] = double(original->vertices.size());
  state.counters["outside_sphere"] = outside;
  state.counters["nonfinite_curv"] = nonfinite;
}

}  // namespace

BENCHMARK(BM_RealScan)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PointCloudNormals)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Normals)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BoundingSphere)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Curvatures)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Dcurv)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AllDerived)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
