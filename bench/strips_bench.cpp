// Connectivity on a scan-sized range grid: 1000 x 1000 samples (1M vertices,
// about 2M triangles) of a gently curved surface, built in code.
//
// Times grid triangulation, the three adjacency tables and strip building,
// and compares strip building with meshoptimizer's stripifier on the same
// faces in the same run: the counters `indices` (stream length) and `strips`
// tell the resulting size next to the time. The same comparison runs on two
// real range scans (a Kinect frame and a bunny scan, read through
// TriMesh::read_mesh) when their files and the reader are there.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"

#ifdef HAVE_MESHOPTIMIZER
#include <meshoptimizer.h>
#endif

namespace {

constexpr int kSide = 1000;

// A w x h range grid on a smooth height field; a few scattered cells have no
// sample, as on a real scan.
TriMesh grid_scan(int w, int h) {
  TriMesh m;
  m.grid_width = w;
  m.grid_height = h;
  m.vertices.reserve(size_t(w) * h);
  m.grid.reserve(size_t(w) * h);
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) {
      const float z = 500.0f + 3.0f * std::sin(0.02f * x) * std::cos(0.03f * y);
      m.grid.push_back(((x * 7 + y * 13) % 997 == 0) ? -1 : int32_t(m.vertices.size()));
      m.vertices.push_back(point(float(x), float(y), z));
    }
  }
  return m;
}

// The triangulated scan with faces only, built once.
const TriMesh& faces_only() {
  static const TriMesh mesh = [] {
    set_verbose(false);
    TriMesh m = grid_scan(kSide, kSide);
    m.need_faces();
    return m;
  }();
  return mesh;
}

// A copy of the scan holding only what the timed step starts from.
TriMesh scan_copy(bool with_vertex_faces, bool with_across_edge) {
  TriMesh m;
  m.vertices = faces_only().vertices;
  m.faces = faces_only().faces;
  if (with_vertex_faces) m.need_vertex_faces();
  if (with_across_edge) m.need_across_edge();
  return m;
}

void BM_TriangulateGrid(benchmark::State& state) {
  set_verbose(false);
  const TriMesh source = grid_scan(kSide, kSide);
  for (auto _ : state) {
    state.PauseTiming();
    TriMesh m = source;
    state.ResumeTiming();
    m.triangulate_grid();
    benchmark::DoNotOptimize(m.faces.data());
    state.counters["faces"] = double(m.faces.size());
    state.PauseTiming();
    m = TriMesh();  // freeing is not part of the step
    state.ResumeTiming();
  }
}

// Times `step` on a fresh copy made outside the timing.
template <class Step>
void time_on_copies(benchmark::State& state, bool with_vertex_faces, bool with_across_edge, Step step) {
  faces_only();
  for (auto _ : state) {
    state.PauseTiming();
    TriMesh m = scan_copy(with_vertex_faces, with_across_edge);
    state.ResumeTiming();
    step(m, state);
    state.PauseTiming();
    m = TriMesh();
    state.ResumeTiming();
  }
}

void BM_NeedNeighbors(benchmark::State& state) {
  time_on_copies(state, false, false, [](TriMesh& m, benchmark::State&) {
    m.need_neighbors();
    benchmark::DoNotOptimize(m.neighbors.items.data());
  });
}

void BM_NeedVertexFaces(benchmark::State& state) {
  time_on_copies(state, false, false, [](TriMesh& m, benchmark::State&) {
    m.need_vertex_faces();
    benchmark::DoNotOptimize(m.vertex_faces.items.data());
  });
}

// The across-edge walk alone, vertex_faces given.
void BM_NeedAcrossEdge(benchmark::State& state) {
  time_on_copies(state, true, false, [](TriMesh& m, benchmark::State&) {
    m.need_across_edge();
    benchmark::DoNotOptimize(m.across_edge.data());
  });
}

int count_strips(const std::vector<int32_t>& stream) {
  int strips = 0;
  for (size_t at = 0; at < stream.size(); at += size_t(stream[at]) + 1) strips++;
  return strips;
}

// Strips from faces alone (vertex_faces and across_edge included), the same
// input the peer gets.
void BM_NeedTristrips(benchmark::State& state) {
  time_on_copies(state, false, false, [](TriMesh& m, benchmark::State& s) {
    m.need_tristrips();
    s.counters["indices"] = double(m.tristrips.size());
    s.counters["strips"] = count_strips(m.tristrips);
  });
}

// The strip walk alone, across_edge given.
void BM_NeedTristripsWalkOnly(benchmark::State& state) {
  time_on_copies(state, true, true, [](TriMesh& m, benchmark::State& s) {
    m.need_tristrips();
    s.counters["indices"] = double(m.tristrips.size());
  });
}

#ifdef HAVE_MESHOPTIMIZER
// The peer on the same faces; strips are separated by a restart index, the
// same one word per strip that our length prefix costs.
void meshopt_stripify_faces(benchmark::State& state, const TriMesh& m) {
  std::vector<unsigned int> indices;
  indices.reserve(m.faces.size() * 3);
  for (const Face& f : m.faces) indices.insert(indices.end(), {unsigned(f[0]), unsigned(f[1]), unsigned(f[2])});
  std::vector<unsigned int> strip(meshopt_stripifyBound(indices.size()));
  const unsigned int restart = ~0u;
  for (auto _ : state) {
    const size_t count = meshopt_stripify(strip.data(), indices.data(), indices.size(), m.vertices.size(), restart);
    benchmark::DoNotOptimize(strip.data());
    state.counters["indices"] = double(count);
    size_t restarts = 0;
    for (size_t i = 0; i < count; i++) restarts += strip[i] == restart;
    state.counters["strips"] = double(restarts + 1);
  }
}

void BM_MeshoptStripify(benchmark::State& state) { meshopt_stripify_faces(state, faces_only()); }
BENCHMARK(BM_MeshoptStripify)->Unit(benchmark::kMillisecond);
#endif

// ---- Real scans --------------------------------------------------------

const char* const kDataDir = ICP_SOURCE_DIR "/../shared/data/";

// The scan read once (faces made from its grid by the reader); null when the
// file or a working reader is missing.
const TriMesh* real_scan(const std::string& path) {
  static std::map<std::string, std::unique_ptr<TriMesh>> scans;
  auto found = scans.find(path);
  if (found == scans.end()) {
    set_verbose(false);
    std::unique_ptr<TriMesh> m(TriMesh::read_mesh(kDataDir + path));
    if (m) m->need_faces();
    if (m && m->faces.empty()) m.reset();
    found = scans.emplace(path, std::move(m)).first;
  }
  return found->second.get();
}

void BM_RealScanTristrips(benchmark::State& state, const char* path) {
  const TriMesh* scan = real_scan(path);
  if (!scan) {
    state.SkipWithError("scan or reader not available");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    TriMesh m;
    m.vertices = scan->vertices;
    m.faces = scan->faces;
    state.ResumeTiming();
    m.need_tristrips();
    state.counters["faces"] = double(m.faces.size());
    state.counters["indices"] = double(m.tristrips.size());
    state.counters["strips"] = count_strips(m.tristrips);
    state.PauseTiming();
    m = TriMesh();
    state.ResumeTiming();
  }
}
BENCHMARK_CAPTURE(BM_RealScanTristrips, kinect, "pcl_kinect_grabber_frames/frame_20121214T142255.814212_grid.ply")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RealScanTristrips, bunny, "stanford_bunny_scans/bun000.ply")->Unit(benchmark::kMillisecond);

#ifdef HAVE_MESHOPTIMIZER
void BM_RealScanMeshopt(benchmark::State& state, const char* path) {
  const TriMesh* scan = real_scan(path);
  if (!scan) {
    state.SkipWithError("scan or reader not available");
    return;
  }
  meshopt_stripify_faces(state, *scan);
}
BENCHMARK_CAPTURE(BM_RealScanMeshopt, kinect, "pcl_kinect_grabber_frames/frame_20121214T142255.814212_grid.ply")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RealScanMeshopt, bunny, "stanford_bunny_scans/bun000.ply")->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK(BM_TriangulateGrid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NeedNeighbors)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NeedVertexFaces)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NeedAcrossEdge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NeedTristrips)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NeedTristripsWalkOnly)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
