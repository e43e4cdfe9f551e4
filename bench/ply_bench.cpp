// Reading a 1M-vertex coloured PLY mesh (2M faces) in binary little-endian
// and in ascii, against Open3D's read_triangle_mesh on the same files in the
// same run (bench/ply_bench_open3d.py, run with /usr/bin/python3 when Open3D
// is installed). Reports MB/s (per CPU second); the Open3D rows use its
// best-of-3 CPU time, and x_slower is that time over our best read. Two more
// rows read headers of a million property lines, in the vertex and in the
// face element, which should cost about the same.
//
// The files are generated in /dev/shm (memory) when it exists, else /tmp, so
// both readers measure parsing rather than the disk.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"

namespace {

constexpr int kSide = 1000;  // kSide^2 = 1M vertices, 2 (kSide-1)^2 faces

std::string bench_dir() {
  struct stat st;
  return stat("/dev/shm", &st) == 0 ? "/dev/shm" : "/tmp";
}

// A wavy coloured sheet: positions, byte colours, triangle faces.
void write_sheet(const std::string& path, bool binary) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  const int nv = kSide * kSide, nf = 2 * (kSide - 1) * (kSide - 1);
  std::fprintf(f,
               "ply\nformat %s 1.0\nelement vertex %d\nproperty float x\nproperty float y\n"
               "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
               "element face %d\nproperty list uchar int vertex_indices\nend_header\n",
               binary ? "binary_little_endian" : "ascii", nv, nf);
  for (int y = 0; y < kSide; y++)
    for (int x = 0; x < kSide; x++) {
      float p[3] = {x * 0.001f, y * 0.001f, 0.05f * std::sin(x * 0.02f) * std::cos(y * 0.03f)};
      unsigned char c[3] = {static_cast<unsigned char>(x), static_cast<unsigned char>(y),
                            static_cast<unsigned char>(x ^ y)};
      if (binary) {
        std::fwrite(p, 4, 3, f);
        std::fwrite(c, 1, 3, f);
      } else {
        std::fprintf(f, "%.7g %.7g %.7g %d %d %d\n", p[0], p[1], p[2], c[0], c[1], c[2]);
      }
    }
  for (int y = 0; y + 1 < kSide; y++)
    for (int x = 0; x + 1 < kSide; x++) {
      int ll = y * kSide + x, lr = ll + 1, ul = ll + kSide, ur = ul + 1;
      int tris[2][3] = {{ll, lr, ul}, {lr, ur, ul}};
      for (auto& t : tris) {
        if (binary) {
          unsigned char three = 3;
          std::fwrite(&three, 1, 1, f);
          std::fwrite(t, 4, 3, f);
        } else {
          std::fprintf(f, "3 %d %d %d\n", t[0], t[1], t[2]);
        }
      }
    }
  std::fclose(f);
}

// A binary triangle whose vertex or face element declares a million extra
// one-byte properties: the header, not the body, is the work. Both places
// must cost about the same (time linear in the header's length).
constexpr int kWideProperties = 1000000;

void write_wide_header(const std::string& path, bool in_face) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::fprintf(f, "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
                  "property float y\nproperty float z\n");
  if (!in_face)
    for (int i = 0; i < kWideProperties; i++) std::fprintf(f, "property uchar p%d\n", i);
  std::fprintf(f, "element face 1\n");
  if (in_face)
    for (int i = 0; i < kWideProperties; i++) std::fprintf(f, "property uchar p%d\n", i);
  std::fprintf(f, "property list uchar int vertex_indices\nend_header\n");
  const std::vector<char> extra(in_face ? 0 : kWideProperties, 0);
  for (int v = 0; v < 3; v++) {
    const float p[3] = {static_cast<float>(v == 1), static_cast<float>(v == 2), 0.0f};
    std::fwrite(p, 4, 3, f);
    std::fwrite(extra.data(), 1, extra.size(), f);
  }
  const std::vector<char> face_extra(in_face ? kWideProperties : 0, 0);
  std::fwrite(face_extra.data(), 1, face_extra.size(), f);
  const unsigned char three = 3;
  const int idx[3] = {0, 1, 2};
  std::fwrite(&three, 1, 1, f);
  std::fwrite(idx, 4, 3, f);
  std::fclose(f);
}

void BM_ReadWideHeader(benchmark::State& state, std::string path) {
  for (auto _ : state) {
    std::unique_ptr<TriMesh> m(TriMesh::read_mesh(path));
    if (!m || m->faces.size() != 1) {
      state.SkipWithError("read failed");
      return;
    }
  }
}

double file_mb(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size / 1e6 : 0.0;
}

// Our CPU seconds per read of each file, for the ratio in the Open3D rows.
std::map<std::string, double> g_our_seconds;

double cpu_seconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void BM_ReadPly(benchmark::State& state, std::string path) {
  double best = 1e30;
  for (auto _ : state) {
    double start = cpu_seconds();
    std::unique_ptr<TriMesh> m(TriMesh::read_mesh(path));
    if (!m || m->vertices.size() != static_cast<size_t>(kSide) * kSide) {
      state.SkipWithError("read failed");
      return;
    }
    benchmark::DoNotOptimize(m->faces.data());
    best = std::min(best, cpu_seconds() - start);
  }
  g_our_seconds[path] = best;
  state.counters["MB/s"] = benchmark::Counter(file_mb(path) * state.iterations(),
                                              benchmark::Counter::kIsRate);
}

// Open3D's timing, measured once by the script; reported through manual time.
void BM_Open3D(benchmark::State& state, std::string path, double seconds) {
  for (auto _ : state) state.SetIterationTime(seconds);
  state.counters["MB/s"] = file_mb(path) / seconds;
  // How many times longer Open3D takes than our best read of the same file.
  if (g_our_seconds.count(path)) state.counters["x_slower"] = seconds / g_our_seconds[path];
}

// Runs the Open3D script on both files; path -> best seconds (empty without Open3D).
std::map<std::string, double> time_open3d(const std::vector<std::string>& paths) {
  std::map<std::string, double> out;
  std::string cmd = "/usr/bin/python3 " ICP_SOURCE_DIR "/bench/ply_bench_open3d.py";
  for (const std::string& p : paths) cmd += " " + p;
  cmd += " 2>/dev/null";
  std::FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return out;
  char path[4096];
  double seconds;
  long nv, nf;
  while (std::fscanf(pipe, "%4095s %lf %ld %ld", path, &seconds, &nv, &nf) == 4)
    if (nv == static_cast<long>(kSide) * kSide) out[path] = seconds;
  pclose(pipe);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  set_verbose(false);
  const std::string dir = bench_dir();
  const std::string bin = dir + "/ply_bench_1m_binary.ply", asc = dir + "/ply_bench_1m_ascii.ply";
  write_sheet(bin, true);
  write_sheet(asc, false);
  std::map<std::string, double> o3d = time_open3d({bin, asc});
  const std::string wide_vertex = dir + "/ply_bench_wide_vertex.ply";
  const std::string wide_face = dir + "/ply_bench_wide_face.ply";
  write_wide_header(wide_vertex, false);
  write_wide_header(wide_face, true);

  benchmark::RegisterBenchmark("ReadPly/binary_le", BM_ReadPly, bin)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("ReadPly/ascii", BM_ReadPly, asc)->Unit(benchmark::kMillisecond);
  if (o3d.count(bin))
    benchmark::RegisterBenchmark("Open3D/binary_le", BM_Open3D, bin, o3d[bin])
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
  if (o3d.count(asc))
    benchmark::RegisterBenchmark("Open3D/ascii", BM_Open3D, asc, o3d[asc])
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
  if (o3d.empty()) std::fprintf(stderr, "Open3D not available: its rows are skipped\n");
  benchmark::RegisterBenchmark("ReadPly/header_1m_vertex_properties", BM_ReadWideHeader,
                               wide_vertex)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("ReadPly/header_1m_face_properties", BM_ReadWideHeader, wide_face)
      ->Unit(benchmark::kMillisecond);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(bin.c_str());
  std::remove(asc.c_str());
  std::remove(wide_vertex.c_str());
  std::remove(wide_face.c_str());
  return 0;
}
