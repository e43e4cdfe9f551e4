// KDtree against nanoflann on the same points and the same queries, in one
// run: build time and single-nearest query throughput, on 1M uniform random
// points and on a real scan pair (bun000 as the tree, bun045's vertices, moved
// into bun000's frame by their pose files, as queries).
//
// Both trees answer exact nearest-neighbour queries; ours is asked with
// max_dist2 = 0 (bounded by the root radius, which every query here lies
// well within), nanoflann with knnSearch(k = 1) and its default leaf size.
// At start-up the two are checked to agree on the nearest distance.
// On a shared machine compare medians of interleaved repetitions:
//   kdtree_bench --benchmark_repetitions=6 --benchmark_enable_random_interleaving=true
//                --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geometry/PoseMatrix.h"
#include "spatial/KDtree.h"

#ifdef HAVE_NANOFLANN
#include <nanoflann.hpp>
#endif

namespace {

struct Dataset {
  std::string name;
  std::vector<point> points;   // the tree
  std::vector<point> queries;  // the query points
};

// Reads the vertex lines of an ascii PLY file (x y z first on each line);
// enough for the scan files used here, not a general reader.
bool read_ascii_ply_vertices(const std::string& path, std::vector<point>& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char line[512];
  long count = -1;
  bool header_done = false;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "element vertex ", 15) == 0) count = std::strtol(line + 15, nullptr, 10);
    if (std::strncmp(line, "end_header", 10) == 0) {
      header_done = true;
      break;
    }
  }
  if (!header_done || count <= 0 || count > 10000000) {
    std::fclose(f);
    return false;
  }
  out.clear();
  for (long i = 0; i < count && std::fgets(line, sizeof line, f); i++) {
    point p;
    if (std::sscanf(line, "%f %f %f", &p.x, &p.y, &p.z) != 3) break;
    out.push_back(p);
  }
  std::fclose(f);
  return static_cast<long>(out.size()) == count;
}

Dataset make_uniform(int n, int nq) {
  Dataset d;
  d.name = "uniform1M";
  std::mt19937 rng(2024);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  d.points.resize(n);
  for (point& p : d.points) p = point(u(rng), u(rng), u(rng));
  d.queries.resize(nq);
  for (point& q : d.queries) q = point(u(rng), u(rng), u(rng));
  return d;
}

bool make_bunny(Dataset& d) {
  const std::string dir = ICP_SOURCE_DIR "/../shared/data/stanford_bunny_scans/";
  d.name = "bunny000_045";
  std::vector<point> moving;
  if (!read_ascii_ply_vertices(dir + "bun000.ply", d.points) ||
      !read_ascii_ply_vertices(dir + "bun045.ply", moving))
    return false;
  PoseMatrix fixed_to_world, moving_to_world;
  read_pose(dir + "bun000.xf", fixed_to_world);  // identity when absent
  read_pose(dir + "bun045.xf", moving_to_world);
  const PoseMatrix moving_to_fixed = inverse(fixed_to_world) * moving_to_world;
  d.queries.reserve(moving.size());
  for (const point& p : moving) d.queries.push_back(moving_to_fixed * p);
  return true;
}

#ifdef HAVE_NANOFLANN
struct CloudAdaptor {
  const std::vector<point>* pts;
  std::size_t kdtree_get_point_count() const { return pts->size(); }
  float kdtree_get_pt(std::size_t i, std::size_t dim) const { return (*pts)[i][static_cast<int>(dim)]; }
  template <class Box>
  bool kdtree_get_bbox(Box&) const { return false; }
};
typedef nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<float, CloudAdaptor>,
                                            CloudAdaptor, 3>
    NanoTree;

// Counts queries whose nearest distance differs between the two trees.
void check_agreement(const Dataset& d) {
  KDtree ours(d.points);
  CloudAdaptor cloud{&d.points};
  NanoTree nano(3, cloud);
  int differ = 0, checked = 0;
  for (std::size_t i = 0; i < d.queries.size(); i += 7, checked++) {
    const float* q = d.queries[i].data();
    uint32_t index = 0;
    float nano_d2 = 0;
    nano.knnSearch(q, 1, &index, &nano_d2);
    const float* got = ours.find_nearest(q, 0.0f);
    if (!got || dist2(point(got), d.queries[i]) != dist2(d.points[index], d.queries[i])) differ++;
  }
  std::fprintf(stderr, "%s: %d points, %d queries, %d of %d checked nearest distances differ\n",
               d.name.c_str(), static_cast<int>(d.points.size()), static_cast<int>(d.queries.size()),
               differ, checked);
}
#endif

void bm_build_ours(benchmark::State& state, const Dataset* d) {
  for (auto _ : state) {
    KDtree tree(d->points);
    benchmark::DoNotOptimize(&tree);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(d->points.size()));
}

void bm_query_ours(benchmark::State& state, const Dataset* d) {
  KDtree tree(d->points);
  for (auto _ : state) {
    for (const point& q : d->queries) benchmark::DoNotOptimize(tree.find_nearest(q.data(), 0.0f));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(d->queries.size()));
}

#ifdef HAVE_NANOFLANN
void bm_build_nanoflann(benchmark::State& state, const Dataset* d) {
  CloudAdaptor cloud{&d->points};
  for (auto _ : state) {
    NanoTree tree(3, cloud);
    benchmark::DoNotOptimize(&tree);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(d->points.size()));
}

void bm_query_nanoflann(benchmark::State& state, const Dataset* d) {
  CloudAdaptor cloud{&d->points};
  NanoTree tree(3, cloud);
  for (auto _ : state) {
    for (const point& q : d->queries) {
      uint32_t index;
      float d2;
      tree.knnSearch(q.data(), 1, &index, &d2);
      benchmark::DoNotOptimize(index);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(d->queries.size()));
}
#endif

void register_all(const Dataset* d) {
  const std::string n = d->name;
  benchmark::RegisterBenchmark(("build/ours/" + n).c_str(), bm_build_ours, d)->Unit(benchmark::kMillisecond);
#ifdef HAVE_NANOFLANN
  benchmark::RegisterBenchmark(("build/nanoflann/" + n).c_str(), bm_build_nanoflann, d)
      ->Unit(benchmark::kMillisecond);
#endif
  benchmark::RegisterBenchmark(("query/ours/" + n).c_str(), bm_query_ours, d)->Unit(benchmark::kMillisecond);
#ifdef HAVE_NANOFLANN
  benchmark::RegisterBenchmark(("query/nanoflann/" + n).c_str(), bm_query_nanoflann, d)
      ->Unit(benchmark::kMillisecond);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  static Dataset uniform = make_uniform(1000000, 200000);
  static Dataset bunny;
  const bool have_bunny = make_bunny(bunny);
  if (!have_bunny) std::fprintf(stderr, "bunny scans not found: that data set is skipped\n");
#ifdef HAVE_NANOFLANN
  check_agreement(uniform);
  if (have_bunny) check_agreement(bunny);
#endif
  register_all(&uniform);
  if (have_bunny) register_all(&bunny);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
