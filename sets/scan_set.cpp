#include "sets/scan_set.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "geometry/parallel.h"
#include "registration/pose_graph.h"
#include "registration/thin_cloud.h"
#include "registration/timer.h"

namespace {

// Clouds for the information matrices: voxels of 1 % of the scans' median
// diagonal, pairs up to 1.5 voxels apart.
const double kInformationVoxel = 0.01;
const double kInformationDistance = 1.5;
// The optimisation drops a loop closure once it disagrees by about this much
// (voxels) over its pairs: a third of a voxel, so a loop that pulls a scan
// by a millimetre on a bunny-sized set goes while true loops (off by their
// pairs' own error, a tenth of that) stay.
const double kPruneDistance = 0.3;
// Loops off the tree's placement by more than this many times the median
// loop (and more than kShiftFloor voxels) are left out of the optimisation.
const double kOutlierFactor = 3.0;
const double kShiftFloor = 0.05;

ScanExtent extent_of(const TriMesh& mesh) {
  ScanExtent e;
  e.centre = mesh.bounding_box.center();
  const point s = mesh.bounding_box.max - mesh.bounding_box.min;
  e.diagonal = std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
  return e;
}

// The seed of the pair's ICP samples: the pair's own, whatever ran before.
uint32_t pair_seed(int a, int b) { return 0x9e3779b9u * uint32_t(a + 1) + 0x85ebca6bu * uint32_t(b + 1); }

// Calls body(k) for every k in [0, n), one piece each, side by side: pairs
// and scans differ much in cost, so no block of them is tied to a thread.
template <typename Body>
void each_alone(size_t n, const Body& body) {
  run_pieces(n, [](void* context, size_t k) { (*static_cast<const Body*>(context))(k); },
             const_cast<Body*>(&body));
}

// Per scan, its clouds at every diagonal its pairs use, by increasing
// diagonal: each scan at its own, and at each smaller one of another scan.
std::vector<std::vector<SetScanClouds>> ready_clouds(const std::vector<PairScan>& scans) {
  std::vector<double> diagonals;
  for (const PairScan& s : scans) diagonals.push_back(scan_diagonal(s));
  std::vector<std::pair<size_t, double>> jobs;
  for (size_t i = 0; i < scans.size(); i++) {
    std::vector<double> used;
    for (size_t j = 0; j < scans.size(); j++)
      if (j != i) used.push_back(std::min(diagonals[i], diagonals[j]));
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    for (double d : used) jobs.emplace_back(i, d);
  }
  std::vector<SetScanClouds> made(jobs.size());
  each_alone(jobs.size(), [&](size_t k) { made[k] = ready_set_clouds(scans[jobs[k].first], jobs[k].second); });
  std::vector<std::vector<SetScanClouds>> clouds(scans.size());
  for (size_t k = 0; k < jobs.size(); k++) clouds[jobs[k].first].push_back(std::move(made[k]));
  return clouds;
}

// The scan's clouds at `diagonal` (one of those ready_clouds made).
const SetScanClouds& clouds_at(const std::vector<SetScanClouds>& clouds, double diagonal) {
  size_t k = 0;
  while (k + 1 < clouds.size() && clouds[k].diagonal != diagonal) k++;
  return clouds[k];
}

// Every pair a < b aligned, side by side.
std::vector<PairOutcome> align_pairs(const std::vector<PairScan>& scans,
                                     const std::vector<std::vector<SetScanClouds>>& clouds,
                                     const SetOptions& options) {
  const int n = int(scans.size());
  std::vector<PairOutcome> pairs;
  for (int a = 0; a < n; a++)
    for (int b = a + 1; b < n; b++) {
      pairs.emplace_back();
      pairs.back().a = a;
      pairs.back().b = b;
    }
  std::mutex progress_lock;
  int done = 0;
  each_alone(pairs.size(), [&](size_t k) {
    const size_t a = size_t(pairs[k].a), b = size_t(pairs[k].b);
    const PoseMatrix start = inverse(scans[a].slot.pose) * scans[b].slot.pose;
    const double diagonal = std::min(scan_diagonal(scans[a]), scan_diagonal(scans[b]));
    pairs[k] = align_pair(scans[a], clouds_at(clouds[a], diagonal), scans[b],
                          clouds_at(clouds[b], diagonal), options.ignore_poses ? nullptr : &start,
                          pair_seed(int(a), int(b)));
    pairs[k].a = int(a);
    pairs[k].b = int(b);
    std::lock_guard<std::mutex> lock(progress_lock);
    done++;
    if (options.progress) options.progress(done, int(pairs.size()));
  });
  return pairs;
}

double median_diagonal(const std::vector<ScanExtent>& extents) {
  std::vector<double> d;
  for (const ScanExtent& e : extents) d.push_back(e.diagonal);
  std::sort(d.begin(), d.end());
  return d.empty() ? 0.0 : d[d.size() / 2];
}

// The pose graph of the placed scans: tree pairs certain, loops uncertain.
// Fills result.poses (in the anchor's frame) and result.in_graph.
void optimise(const std::vector<PairScan>& scans, const std::vector<ScanExtent>& extents,
              SetAlignment& result) {
  const SetPlan& plan = result.plan;
  const std::vector<PairOutcome>& pairs = result.pairs;
  result.poses = plan.poses;
  result.in_graph.assign(pairs.size(), false);
  std::vector<int> node(scans.size(), -1);
  int nodes = 0;
  for (size_t i = 0; i < scans.size(); i++)
    if (plan.placed[i]) node[i] = nodes++;
  std::vector<size_t> edge_pair;
  for (size_t k = 0; k < pairs.size(); k++)
    if ((plan.roles[k] == PairRole::tree || plan.roles[k] == PairRole::loop) &&
        plan.placed[size_t(pairs[k].a)])
      edge_pair.push_back(k);
  for (size_t k : edge_pair) result.in_graph[k] = plan.roles[k] == PairRole::tree;
  bool loops = false;
  for (size_t k : edge_pair) loops = loops || plan.roles[k] == PairRole::loop;
  if (!loops) {
    result.optimisation = "no loops: poses from the spanning tree";
    return;
  }
  std::string why;
  const PoseGraphOptimiser* optimiser = pose_graph_optimiser(&why);
  if (!optimiser) {
    result.optimisation = "pose graph unavailable (" + why + "): poses from the spanning tree";
    return;
  }
  const double voxel = kInformationVoxel * median_diagonal(extents);
  std::vector<MatchCloud> clouds(scans.size());
  for (size_t i = 0; i < scans.size(); i++)
    if (plan.placed[i]) clouds[i] = thin_scan(*scans[i].slot.mesh, voxel, false);
  std::vector<PoseGraphEdge> edges(edge_pair.size());
  for (size_t e = 0; e < edge_pair.size(); e++) {
    const PairOutcome& p = pairs[edge_pair[e]];
    edges[e].source = node[size_t(p.b)];
    edges[e].target = node[size_t(p.a)];
    std::copy(p.b_to_a.m, p.b_to_a.m + 16, edges[e].source_to_target);
    information_matrix(clouds[size_t(p.b)], clouds[size_t(p.a)], p.b_to_a,
                       kInformationDistance * voxel, edges[e].information);
    edges[e].uncertain = plan.roles[edge_pair[e]] == PairRole::loop;
  }
  PoseGraphSettings settings;
  settings.max_correspondence_distance = kPruneDistance * voxel;
  settings.reference_node = node[size_t(plan.anchor)];
  // One optimisation from the tree's placement over the edges still active;
  // false after setting result.optimisation when the library fails.
  std::vector<uint8_t> active(edges.size(), 1), kept(edges.size(), 0);
  std::vector<PoseMatrix> optimised;
  auto run = [&]() {
    std::vector<PoseGraphEdge> used;
    for (size_t e = 0; e < edges.size(); e++)
      if (active[e]) used.push_back(edges[e]);
    std::vector<double> poses(16 * size_t(nodes));
    for (size_t i = 0; i < scans.size(); i++)
      if (node[i] >= 0) std::copy(plan.poses[i].m, plan.poses[i].m + 16, &poses[16 * size_t(node[i])]);
    std::vector<uint8_t> used_kept(used.size(), 0);
    if (!optimiser->optimise(nodes, poses.data(), used.data(), int(used.size()), settings,
                             used_kept.data(), why)) {
      result.optimisation = "pose graph failed (" + why + "): poses from the spanning tree";
      return false;
    }
    for (size_t e = 0, u = 0; e < edges.size(); e++) kept[e] = active[e] ? used_kept[u++] : 0;
    optimised = plan.poses;
    for (size_t i = 0; i < scans.size(); i++)
      if (node[i] >= 0)
        std::copy(&poses[16 * size_t(node[i])], &poses[16 * size_t(node[i]) + 16], optimised[i].m);
    return true;
  };
  // How far the placement `poses` moves an edge's source scan (its box
  // centre) from where the edge's own pair puts it.
  auto shift = [&](size_t e, const std::vector<PoseMatrix>& at) {
    const PairOutcome& p = pairs[edge_pair[e]];
    const PoseMatrix by_graph = inverse(at[size_t(p.a)]) * at[size_t(p.b)];
    const point c = extents[size_t(p.b)].centre;
    return double(dist(transform_point(by_graph, c), transform_point(p.b_to_a, c)));
  };
  // A loop that the tree's placement leaves off by more than kOutlierFactor
  // x the median loop (and more than kShiftFloor voxels) is a pair slightly
  // wrong: within the graph step's tolerance, but it would pull every scan
  // around it. It stays out of the optimisation.
  std::vector<double> shifts;
  for (size_t e = 0; e < edges.size(); e++)
    if (edges[e].uncertain) shifts.push_back(shift(e, plan.poses));
  std::sort(shifts.begin(), shifts.end());
  const double limit = std::max(kOutlierFactor * shifts[shifts.size() / 2], kShiftFloor * voxel);
  for (size_t e = 0; e < edges.size(); e++)
    if (edges[e].uncertain && shift(e, plan.poses) > limit) active[e] = 0;
  // Loops weaker than the weakest tree pair (less overlap, looser fit) add
  // their larger errors more than they average the tree's out.
  float weakest = 1.0f;
  for (size_t e = 0; e < edges.size(); e++)
    if (!edges[e].uncertain) weakest = std::min(weakest, pairs[edge_pair[e]].quality);
  for (size_t e = 0; e < edges.size(); e++)
    if (edges[e].uncertain && pairs[edge_pair[e]].quality < weakest) active[e] = 0;
  if (!run()) return;
  // The optimised placement must still agree with every pair kept; when it
  // does not, the tree's placement (which each of its pairs gives exactly)
  // is the one to trust.
  int dropped = 0;
  for (size_t e = 0; e < edges.size(); e++) {
    const PairOutcome& p = pairs[edge_pair[e]];
    if (!kept[e]) {
      dropped++;
      continue;
    }
    const PoseMatrix by_graph = inverse(optimised[size_t(p.a)]) * optimised[size_t(p.b)];
    if (!poses_agree(p.b_to_a, by_graph, extents[size_t(p.b)])) {
      result.optimisation = "pose graph moved the scans away from their pairs: poses from the spanning tree";
      return;
    }
  }
  result.poses = optimised;
  for (size_t e = 0; e < edges.size(); e++) result.in_graph[edge_pair[e]] = kept[e] != 0;
  char text[160];
  std::snprintf(text, sizeof text, "pose graph optimised: %d nodes, %zu edges, %d loop%s dropped",
                nodes, edges.size(), dropped, dropped == 1 ? "" : "s");
  result.optimisation = text;
}

}  // namespace

void information_matrix(const MatchCloud& source, const MatchCloud& target,
                        const PoseMatrix& source_to_target, double distance, double out[36]) {
  std::fill(out, out + 36, 0.0);
  if (target.points.empty() || !(distance > 0.0)) return;
  const PointGrid grid(target.points, distance);
  for (const point& p : source.points) {
    const int t = grid.nearest(transform_point(source_to_target, p), distance);
    if (t < 0) continue;
    const point& q = target.points[size_t(t)];
    const double x = q.x, y = q.y, z = q.z;
    const double g[3][6] = {{0, z, -y, 1, 0, 0}, {-z, 0, x, 0, 1, 0}, {y, -x, 0, 0, 0, 1}};
    for (int r = 0; r < 6; r++)
      for (int c = 0; c < 6; c++)
        out[6 * r + c] += g[0][r] * g[0][c] + g[1][r] * g[1][c] + g[2][r] * g[2][c];
  }
}

SetAlignment align_scan_set(const std::vector<PairScan>& scans, const SetOptions& options) {
  Timer timer;
  SetAlignment result;
  std::vector<ScanExtent> extents;
  for (const PairScan& s : scans) extents.push_back(extent_of(*s.slot.mesh));
  const std::vector<std::vector<SetScanClouds>> clouds = ready_clouds(scans);
  result.ready_ms = timer.elapsed_ms();
  result.pairs = align_pairs(scans, clouds, options);
  result.pairs_ms = timer.elapsed_ms() - result.ready_ms;
  result.plan = plan_set(result.pairs, extents);
  optimise(scans, extents, result);
  // Into the anchor's own frame.
  if (result.plan.anchor >= 0) {
    const PoseMatrix anchor =
        options.ignore_poses ? PoseMatrix() : scans[size_t(result.plan.anchor)].slot.pose;
    for (size_t i = 0; i < scans.size(); i++)
      result.poses[i] = result.plan.placed[i] ? anchor * result.poses[i] : scans[i].slot.pose;
  }
  result.milliseconds = timer.elapsed_ms();
  return result;
}
