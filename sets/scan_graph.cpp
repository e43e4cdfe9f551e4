#include "sets/scan_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>

namespace {

// Scan b's frame -> scan a's frame by pair `p`, whichever way round it was tried.
PoseMatrix pair_pose(const PairOutcome& p, int to, int from) {
  return (p.a == to && p.b == from) ? p.b_to_a : inverse(p.b_to_a);
}

// Pairs usable as evidence, by their (a, b) scans.
class PairIndex {
 public:
  PairIndex(const std::vector<PairOutcome>& pairs, const std::vector<bool>& usable) {
    for (size_t k = 0; k < pairs.size(); k++)
      if (usable[k]) index_[key(pairs[k].a, pairs[k].b)] = int(k);
  }
  // The usable pair joining scans i and j, or -1.
  int find(int i, int j) const {
    auto it = index_.find(key(i, j));
    return it == index_.end() ? -1 : it->second;
  }

 private:
  static std::pair<int, int> key(int i, int j) { return {std::min(i, j), std::max(i, j)}; }
  std::map<std::pair<int, int>, int> index_;
};

// Step 1: rejects the pairs that more closing triangles contradict than support.
void vote_by_triangles(const std::vector<PairOutcome>& pairs,
                       const std::vector<ScanExtent>& extents, SetPlan& plan) {
  std::vector<bool> usable(pairs.size());
  for (size_t k = 0; k < pairs.size(); k++) usable[k] = plan.roles[k] != PairRole::unverified;
  const PairIndex index(pairs, usable);
  const int scans = int(extents.size());
  std::vector<size_t> rejected;
  for (size_t k = 0; k < pairs.size(); k++) {
    if (!usable[k]) continue;
    const PairOutcome& p = pairs[k];
    int agree = 0, disagree = 0;
    for (int m = 0; m < scans; m++) {
      const int am = index.find(p.a, m), mb = index.find(m, p.b);
      if (m == p.a || m == p.b || am < 0 || mb < 0) continue;
      const PoseMatrix around = pair_pose(pairs[size_t(am)], p.a, m) *
                                pair_pose(pairs[size_t(mb)], m, p.b);
      (poses_agree(p.b_to_a, around, extents[size_t(p.b)]) ? agree : disagree)++;
    }
    if (disagree > agree) {
      rejected.push_back(k);
      char text[120];
      std::snprintf(text, sizeof text, "contradicted by %d of %d closing triangles", disagree,
                    agree + disagree);
      plan.reasons[k] = text;
    }
  }
  for (size_t k : rejected) plan.roles[k] = PairRole::rejected;
}

struct UnionFind {
  std::vector<int> parent;
  explicit UnionFind(int n) : parent(size_t(n)) { std::iota(parent.begin(), parent.end(), 0); }
  int root(int i) {
    while (parent[size_t(i)] != i) i = parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
    return i;
  }
  bool join(int i, int j) {
    i = root(i), j = root(j);
    if (i == j) return false;
    parent[size_t(std::max(i, j))] = std::min(i, j);
    return true;
  }
};

// Step 2: the maximum spanning forest over the pairs not rejected; marks
// its pairs `tree` and every other usable one `loop` (for now).
void spanning_forest(const std::vector<PairOutcome>& pairs, int scans, SetPlan& plan) {
  std::vector<size_t> order;
  for (size_t k = 0; k < pairs.size(); k++)
    if (plan.roles[k] == PairRole::tree || plan.roles[k] == PairRole::loop) order.push_back(k);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t x, size_t y) { return pairs[x].quality > pairs[y].quality; });
  UnionFind forest(scans);
  for (size_t k : order)
    plan.roles[k] = forest.join(pairs[k].a, pairs[k].b) ? PairRole::tree : PairRole::loop;
}

// The tree as seen from the anchor: for every scan its parent scan and the
// pair to it (-1 at the anchor and off the tree), and its depth.
struct RootedTree {
  std::vector<int> parent, via, depth;
};

// Chooses the largest tree (ties: earliest scan), roots it at its earliest
// scan and composes the poses along it.
RootedTree place_largest_tree(const std::vector<PairOutcome>& pairs, int scans, SetPlan& plan) {
  UnionFind forest(scans);
  for (size_t k = 0; k < pairs.size(); k++)
    if (plan.roles[k] == PairRole::tree) forest.join(pairs[k].a, pairs[k].b);
  std::vector<int> size(size_t(scans), 0);
  for (int i = 0; i < scans; i++) size[size_t(forest.root(i))]++;
  int best = 0;  // roots are their tree's earliest scan
  for (int i = 0; i < scans; i++)
    if (size[size_t(i)] > size[size_t(best)]) best = i;
  plan.anchor = best;
  RootedTree tree{std::vector<int>(size_t(scans), -1), std::vector<int>(size_t(scans), -1),
                  std::vector<int>(size_t(scans), 0)};
  plan.placed.assign(size_t(scans), false);
  plan.poses.assign(size_t(scans), PoseMatrix());
  plan.placed[size_t(best)] = true;
  std::vector<int> queue{best};
  for (size_t q = 0; q < queue.size(); q++) {
    const int i = queue[q];
    for (size_t k = 0; k < pairs.size(); k++) {
      const PairOutcome& p = pairs[k];
      if (plan.roles[k] != PairRole::tree || (p.a != i && p.b != i)) continue;
      const int j = p.a == i ? p.b : p.a;
      if (plan.placed[size_t(j)]) continue;
      plan.placed[size_t(j)] = true;
      plan.poses[size_t(j)] = plan.poses[size_t(i)] * pair_pose(p, i, j);
      tree.parent[size_t(j)] = i;
      tree.via[size_t(j)] = int(k);
      tree.depth[size_t(j)] = tree.depth[size_t(i)] + 1;
      queue.push_back(j);
    }
  }
  return tree;
}

// The tree pairs on the path between scans i and j.
std::vector<int> tree_path(const RootedTree& tree, int i, int j) {
  std::vector<int> path;
  while (i != j) {
    int& deeper = tree.depth[size_t(i)] >= tree.depth[size_t(j)] ? i : j;
    path.push_back(tree.via[size_t(deeper)]);
    deeper = tree.parent[size_t(deeper)];
  }
  return path;
}

// Step 3 once: checks the loops against the tree's placement. Returns the
// tree pair to reject, or -1 when every loop agrees or no tree pair is to
// blame (the disagreeing loops are then rejected).
int check_loops(const std::vector<PairOutcome>& pairs, const std::vector<ScanExtent>& extents,
                const RootedTree& tree, SetPlan& plan) {
  std::vector<int> against(pairs.size(), 0), with(pairs.size(), 0);
  std::vector<size_t> disagreeing;
  for (size_t k = 0; k < pairs.size(); k++) {
    const PairOutcome& p = pairs[k];
    if (plan.roles[k] != PairRole::loop) continue;
    if (!plan.placed[size_t(p.a)]) continue;  // both ends lie in one tree
    const PoseMatrix by_tree = inverse(plan.poses[size_t(p.a)]) * plan.poses[size_t(p.b)];
    const bool agree = poses_agree(p.b_to_a, by_tree, extents[size_t(p.b)]);
    if (!agree) disagreeing.push_back(k);
    for (int t : tree_path(tree, p.a, p.b)) (agree ? with : against)[size_t(t)]++;
  }
  // The most blamed; among equally blamed ones (a single loop cannot tell
  // which of its pairs is wrong) the one of lowest quality.
  int blamed = -1;
  for (size_t k = 0; k < pairs.size(); k++) {
    if (against[k] <= with[k]) continue;
    const int margin = against[k] - with[k];
    const int best = blamed < 0 ? 0 : against[size_t(blamed)] - with[size_t(blamed)];
    if (blamed < 0 || margin > best ||
        (margin == best && pairs[k].quality < pairs[size_t(blamed)].quality))
      blamed = int(k);
  }
  if (blamed >= 0) {
    char text[120];
    std::snprintf(text, sizeof text, "contradicted by %d of %d loops through it",
                  against[size_t(blamed)], against[size_t(blamed)] + with[size_t(blamed)]);
    plan.reasons[size_t(blamed)] = text;
    return blamed;
  }
  for (size_t k : disagreeing) {
    plan.roles[k] = PairRole::rejected;
    plan.reasons[k] = "disagrees with the placement by the other pairs";
  }
  return -1;
}

}  // namespace

double rotation_degrees(const PoseMatrix& d) {
  const double c = (d.at(0, 0) + d.at(1, 1) + d.at(2, 2) - 1.0) / 2.0;
  return std::acos(std::max(-1.0, std::min(1.0, c))) * 180.0 / M_PI;
}

bool poses_agree(const PoseMatrix& p, const PoseMatrix& q, const ScanExtent& e) {
  return rotation_degrees(inverse(p) * q) <= kLoopDegrees &&
         dist(transform_point(p, e.centre), transform_point(q, e.centre)) <=
             kLoopShift * e.diagonal;
}

SetPlan plan_set(const std::vector<PairOutcome>& pairs, const std::vector<ScanExtent>& extents) {
  SetPlan plan;
  const int scans = int(extents.size());
  plan.roles.assign(pairs.size(), PairRole::unverified);
  plan.reasons.assign(pairs.size(), std::string());
  for (size_t k = 0; k < pairs.size(); k++)
    if (pairs[k].verified) plan.roles[k] = PairRole::loop;
  if (scans == 0) return plan;
  vote_by_triangles(pairs, extents, plan);
  // Each round rejects one tree pair, so this ends within the pair count.
  for (;;) {
    spanning_forest(pairs, scans, plan);
    const RootedTree tree = place_largest_tree(pairs, scans, plan);
    const int blamed = check_loops(pairs, extents, tree, plan);
    if (blamed < 0) break;
    plan.roles[size_t(blamed)] = PairRole::rejected;
  }
  return plan;
}
