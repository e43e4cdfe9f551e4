// Writing a 490k-vertex coloured mesh (977k faces) as binary and ascii PLY,
// OBJ and binary STL, against Open3D's write_triangle_mesh on the same mesh
// in the same run (bench/write_mesh_bench_open3d.py, run with
// /usr/bin/python3 when Open3D is installed). Reports MB/s; the Open3D rows
// use its best-of-3 CPU time, and x_slower is that time over our best write.
//
// Files go to /dev/shm (memory) when it exists, else /tmp, so both sides
// measure formatting rather than the disk.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"

namespace {

constexpr int kSide = 700;  // kSide^2 vertices, 2 (kSide-1)^2 faces

std::string bench_dir() {
  struct stat st;
  return stat("/dev/shm", &st) == 0 ? "/dev/shm" : "/tmp";
}

// The wavy coloured sheet the Open3D script builds too.
TriMesh sheet() {
  TriMesh m;
  for (int y = 0; y < kSide; y++)
    for (int x = 0; x < kSide; x++) {
      const float xf = static_cast<float>(x), yf = static_cast<float>(y);
      m.vertices.emplace_back(xf * 0.001f, yf * 0.001f,
                              0.05f * std::sin(xf * 0.02f) * std::cos(yf * 0.03f));
      m.colors.push_back(Color::from_bytes(static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                                           static_cast<uint8_t>(x ^ y)));
    }
  for (int y = 0; y + 1 < kSide; y++)
    for (int x = 0; x + 1 < kSide; x++) {
      const int ll = y * kSide + x, lr = ll + 1, ul = ll + kSide, ur = ul + 1;
      m.faces.emplace_back(ll, lr, ul);
      m.faces.emplace_back(lr, ur, ul);
    }
  return m;
}

double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double file_mb(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size / 1e6 : 0.0;
}

// Our best CPU seconds per format, for the ratio in the Open3D rows.
std::map<std::string, double> g_our_seconds;

TriMesh* g_mesh = nullptr;

// `prefix` chooses the format; it goes in front of the whole path.
void BM_Write(benchmark::State& state, std::string format, std::string prefix, std::string file) {
  const std::string path = bench_dir() + "/" + file;
  double best = 1e30;
  for (auto _ : state) {
    const double start = cpu_seconds();
    if (!g_mesh->write_mesh(prefix + path)) {
      state.SkipWithError("write failed");
      return;
    }
    best = std::min(best, cpu_seconds() - start);
  }
  g_our_seconds[format] = best;
  state.counters["MB/s"] =
      benchmark::Counter(file_mb(path) * state.iterations(), benchmark::Counter::kIsRate);
  std::remove(path.c_str());
}

void BM_Open3D(benchmark::State& state, std::string format, double seconds, double mb) {
  for (auto _ : state) state.SetIterationTime(seconds);
  state.counters["MB/s"] = mb / seconds;
  if (g_our_seconds.count(format)) state.counters["x_slower"] = seconds / g_our_seconds[format];
}

struct Open3DTiming {
  double seconds, mb;
};

std::map<std::string, Open3DTiming> time_open3d() {
  std::map<std::string, Open3DTiming> out;
  const std::string cmd = "/usr/bin/python3 " ICP_SOURCE_DIR "/bench/write_mesh_bench_open3d.py " +
                          bench_dir() + " " + std::to_string(kSide) + " 2>/dev/null";
  std::FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return out;
  char format[64];
  double seconds, bytes;
  while (std::fscanf(pipe, "%63s %lf %lf", format, &seconds, &bytes) == 3)
    out[format] = {seconds, bytes / 1e6};
  pclose(pipe);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  set_verbose(false);
  TriMesh mesh = sheet();
  g_mesh = &mesh;
  const struct {
    const char* format;
    const char* prefix;
    const char* file;
  } formats[] = {{"ply_binary_le", "le:", "write_bench.ply"},
                 {"ply_ascii", "asc:", "write_bench.ply"},
                 {"obj", "", "write_bench.obj"},
                 {"stl", "", "write_bench.stl"}};
  std::map<std::string, Open3DTiming> o3d = time_open3d();
  for (const auto& f : formats)
    benchmark::RegisterBenchmark((std::string("Write/") + f.format).c_str(), BM_Write,
                                 std::string(f.format), std::string(f.prefix),
                                 std::string(f.file))
        ->Unit(benchmark::kMillisecond);
  for (const auto& f : formats)
    if (o3d.count(f.format))
      benchmark::RegisterBenchmark((std::string("Open3D/") + f.format).c_str(), BM_Open3D,
                                   std::string(f.format), o3d[f.format].seconds, o3d[f.format].mb)
          ->UseManualTime()
          ->Iterations(1)
          ->Unit(benchmark::kMillisecond);
  if (o3d.empty()) std::fprintf(stderr, "Open3D not available: its rows are skipped\n");

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
