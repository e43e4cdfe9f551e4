// Loading a 1M-vertex coloured binary PLY with faces to ready: read plus
// every derived array of the load sequence (normals, strips, bounding sphere,
// curvatures, dcurv, neighbours, curvature scale) and the k-d tree the first
// alignment needs, as a load button and that alignment run them. (A build
// whose load sequence leaves the tree out builds it right after the load.)
// The file is a 1000 x 1000 height field with a colour pattern, written once
// per process to the temporary folder.
//
// bench/load_compare.sh builds this same file against another checkout's
// libraries and runs both side by side, for the speed-up against it.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"
#include "registration/load_scan.h"
#include "spatial/KDtree.h"

namespace {

const int kGrid = 1000;

// Path of the generated scan; empty when it could not be written.
const std::string& scan_path() {
  static const std::string path = [] {
    TriMesh m;
    m.vertices.reserve(size_t(kGrid) * kGrid);
    m.colors.reserve(size_t(kGrid) * kGrid);
    for (int y = 0; y < kGrid; y++) {
      for (int x = 0; x < kGrid; x++) {
        float u = x * 0.0002f, v = y * 0.0002f;
        m.vertices.push_back(point(u, v, 0.01f * std::sin(170.0f * u) * std::cos(130.0f * v)));
        float stripe = (x / 40 + y / 40) % 2 ? 0.8f : 0.3f;
        m.colors.push_back(Color(stripe, u * 5.0f, v * 5.0f));
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
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) return std::string();
    std::string file = (dir / ("load_bench_" + std::to_string(getpid()) + ".ply")).string();
    return m.write_mesh(file) ? file : std::string();
  }();
  return path;
}

void BM_LoadToReady(benchmark::State& state) {
  set_verbose(false);
  const std::string& path = scan_path();
  if (path.empty()) {
    state.SkipWithError("cannot write the generated scan");
    return;
  }
  size_t vertices = 0;
  for (auto _ : state) {
    MeshSlot slot;
    if (!load_scan(slot, 0, path)) {
      state.SkipWithError("cannot read the generated scan");
      return;
    }
    if (!slot.kdtree) slot.kdtree = std::make_unique<KDtree>(slot.mesh->vertices);
    vertices = slot.mesh->vertices.size();
    benchmark::DoNotOptimize(slot.mesh->dcurv.data());
  }
  state.counters["vertices"] = double(vertices);
}

}  // namespace

BENCHMARK(BM_LoadToReady)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (!scan_path().empty()) std::remove(scan_path().c_str());
  return 0;
}
