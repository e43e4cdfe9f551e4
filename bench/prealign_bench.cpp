// Time of the prealignment alone on real scans of about 40k vertices (the
// bunny's bun045 onto bun000, placed by their .xf) and on the bundled demo
// pair (25k), loaded as the program loads them. The step ignores mesh 2's
// start, so one call per iteration says all; the counter `fitness` shows the
// found pose was trusted. Scans are found relative to the repository
// (../shared/data), or in ICP_BENCH_BUNNY. With --benchmark_repetitions the
// fitness may differ between repetitions: each one loads the scans again,
// and the loader's edge-length sampling (a process-wide generator) removes
// slightly different range-grid faces, so the normals differ a little; on
// the same meshes the step repeats itself exactly.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "mesh/diagnostics.h"
#include "registration/Aligner.h"
#include "registration/load_scan.h"
#include "registration/prealign.h"

namespace {

void prealign_pair(benchmark::State& state, const std::string& mesh1, const std::string& mesh2) {
  set_verbose(false);
  Aligner aligner;
  if (!load_scan(*aligner.slots[0], 0, mesh1) || !load_scan(*aligner.slots[1], 1, mesh2)) {
    state.SkipWithError("cannot read the scans");
    return;
  }
  MeshSlot& fixed = *aligner.slots[0];
  MeshSlot& moving = *aligner.slots[1];
  PrealignResult result;
  for (auto _ : state) {
    result = prealign(*fixed.mesh, fixed.pose, *moving.mesh, moving.pose);
    benchmark::DoNotOptimize(result.pose);
  }
  if (!result.ok) state.SkipWithError(result.message.c_str());
  state.counters["fitness"] = result.fitness;
  state.counters["vertices"] = double(moving.mesh->vertices.size());
}

std::string bunny_dir() {
  const char* dir = std::getenv("ICP_BENCH_BUNNY");
  return dir && *dir ? dir : ICP_SOURCE_DIR "/../shared/data/stanford_bunny_scans";
}

void BM_PrealignBunny(benchmark::State& state) {
  prealign_pair(state, bunny_dir() + "/bun000.ply", bunny_dir() + "/bun045.ply");
}
void BM_PrealignDemo(benchmark::State& state) {
  prealign_pair(state, ICP_SOURCE_DIR "/data/demo/mesh1.ply", ICP_SOURCE_DIR "/data/demo/mesh2.ply");
}
BENCHMARK(BM_PrealignBunny)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_PrealignDemo)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
