#include "app/peer_methods.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

#include "app/peer_icp.h"

const std::vector<std::string> kBatchMethods = {"icp", "icp_color", "o3d_point_to_plane",
                                                "o3d_colored"};

namespace {

// The halving schedule: 0.5 dmin, then half the distance at each stage.
const int kStages = 7;
const double kFirstDistance = 0.5;
const int kStageIterations = 30;

// Everything the peers need, built once per batch: both scans as the
// library's clouds (mesh 2 in its own frame, mesh 1 placed by its pose),
// with what every trial's schedule reuses.
struct PeerSetup {
  const PeerIcp* table = nullptr;
  PeerClouds* clouds = nullptr;
  std::vector<std::string> peers;
  PeerSetup() = default;
  PeerSetup(const PeerSetup&) = delete;
  PeerSetup& operator=(const PeerSetup&) = delete;
  ~PeerSetup() {
    if (clouds) table->release(clouds);
  }
};

// Unit sums of the cross products of each vertex's faces (so larger faces
// weigh more); the mesh's own normals when it has no faces.
std::vector<point> area_weighted_normals(TriMesh& mesh) {
  if (mesh.faces.empty()) {
    mesh.need_normals();
    return mesh.normals;
  }
  std::vector<double> sum(3 * mesh.vertices.size(), 0.0);
  for (const Face& f : mesh.faces) {
    const point& a = mesh.vertices[size_t(f[0])];
    const point e1 = mesh.vertices[size_t(f[1])] - a, e2 = mesh.vertices[size_t(f[2])] - a;
    const double n[3] = {double(e1.y) * e2.z - double(e1.z) * e2.y,
                         double(e1.z) * e2.x - double(e1.x) * e2.z,
                         double(e1.x) * e2.y - double(e1.y) * e2.x};
    for (int c = 0; c < 3; c++)
      for (int k = 0; k < 3; k++) sum[3 * size_t(f[c]) + size_t(k)] += n[k];
  }
  std::vector<point> normals(mesh.vertices.size());
  for (size_t i = 0; i < normals.size(); i++) {
    const double* s = &sum[3 * i];
    const double length = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    if (length > 0) normals[i] = point(float(s[0] / length), float(s[1] / length), float(s[2] / length));
  }
  return normals;
}

// The slot's mesh as a cloud placed by `pose`.
MatchCloud placed_cloud(TriMesh& mesh, const PoseMatrix& pose) {
  MatchCloud cloud;
  const std::vector<point> normals = area_weighted_normals(mesh);
  cloud.points.reserve(mesh.vertices.size());
  cloud.normals.reserve(mesh.vertices.size());
  for (size_t i = 0; i < mesh.vertices.size(); i++) {
    cloud.points.push_back(transform_point(pose, mesh.vertices[i]));
    cloud.normals.push_back(transform_direction(pose, normals[i]));
  }
  cloud.colors = mesh.colors;
  return cloud;
}

double diagonal_of(const std::vector<point>& points) {
  point low = points.front(), high = points.front();
  for (const point& p : points)
    for (int k = 0; k < 3; k++) {
      low[k] = std::min(low[k], p[k]);
      high[k] = std::max(high[k], p[k]);
    }
  const point s = high - low;
  return std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
}

// One peer from the trial's start; a failure of the library leaves mesh 2 at
// the start, said on standard error.
MethodRun run_peer(PeerSetup& setup, const std::string& name, const PoseMatrix& start,
                   const PoseScorer& scorer) {
  PeerIcpOutcome outcome;
  std::string error;
  const auto t0 = std::chrono::steady_clock::now();
  const bool ok = setup.table->schedule(*setup.clouds, start.m, kStageIterations,
                                        name == "o3d_colored", outcome, error);
  MethodRun run;
  run.method = name;
  run.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  run.iterations = outcome.stages_run;
  if (!ok) std::fprintf(stderr, "%s failed: %s\n", name.c_str(), error.c_str());
  scorer.score(ok ? PoseMatrix(outcome.pose) : start, run);
  return run;
}

}  // namespace

bool parse_method_list(const std::string& list, std::vector<std::string>& peers,
                       std::string& why) {
  std::vector<std::string> named;
  size_t at = 0;
  while (at <= list.size()) {
    const size_t comma = std::min(list.find(',', at), list.size());
    const std::string name = list.substr(at, comma - at);
    at = comma + 1;
    if (std::find(kBatchMethods.begin(), kBatchMethods.end(), name) == kBatchMethods.end()) {
      why = "unknown method '" + name + "' (known: icp, icp_color, o3d_point_to_plane, o3d_colored)";
      return false;
    }
    if (name.rfind("o3d_", 0) == 0 && std::find(named.begin(), named.end(), name) == named.end())
      named.push_back(name);
  }
  peers = named;
  return true;
}

bool add_peer_methods(Aligner& aligner, const std::vector<std::string>& peers,
                      TrialBatchHooks& hooks, std::string& why) {
  if (peers.empty()) return true;
  auto setup = std::make_shared<PeerSetup>();
  setup->table = peer_icp(&why);
  if (!setup->table) return false;
  MeshSlot& fixed = *aligner.slots[0];
  MeshSlot& moving = *aligner.slots[1];
  const MatchCloud source = placed_cloud(*moving.mesh, PoseMatrix());
  const MatchCloud target = placed_cloud(*fixed.mesh, fixed.pose);
  const double dmin = std::min(diagonal_of(source.points), diagonal_of(target.points));
  double distances[kStages];
  for (int k = 0; k < kStages; k++) distances[k] = kFirstDistance * dmin / double(1 << k);
  const bool colored = std::find(peers.begin(), peers.end(), "o3d_colored") != peers.end();
  std::string error;
  setup->clouds = setup->table->prepare(source, target, distances, kStages, colored, error);
  if (!setup->clouds) {
    why = "their clouds could not be prepared: " + error;
    return false;
  }
  setup->peers = peers;
  hooks.more_methods = [setup](const PoseMatrix& start, const PoseScorer& scorer, TrialRow& row) {
    for (const std::string& name : setup->peers) row.runs.push_back(run_peer(*setup, name, start, scorer));
  };
  return true;
}
