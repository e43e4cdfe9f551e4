// The graph step of a scan set on poses alone: a planted wrong pair among
// right ones, and a scan that joins nothing.
#include <gtest/gtest.h>

#include <cmath>

#include "registration/pose_graph.h"
#include "sets/scan_graph.h"
#include "sets/scan_set.h"

namespace {

// A rotation of `degrees` about the unit-ish axis (x, y, z), then a shift.
PoseMatrix motion(double degrees, double x, double y, double z, double tx, double ty, double tz) {
  const double n = std::sqrt(x * x + y * y + z * z), a = degrees * M_PI / 180.0;
  x /= n, y /= n, z /= n;
  const double c = std::cos(a), s = std::sin(a), t = 1 - c;
  return PoseMatrix(t * x * x + c, t * x * y + s * z, t * x * z - s * y, 0,
                    t * x * y - s * z, t * y * y + c, t * y * z + s * x, 0,
                    t * x * z + s * y, t * y * z - s * x, t * z * z + c, 0, tx, ty, tz, 1);
}

// Seven scans: 0-5 in a chain where each overlaps the next two (poses
// `truth`), scan 6 overlapping nothing. Pair 0-3, verified and of the best
// quality, places scan 3 30 degrees off.
struct PlantedSet {
  std::vector<PoseMatrix> truth;
  std::vector<ScanExtent> extents;
  std::vector<PairOutcome> pairs;
  size_t wrong = 0;
  PlantedSet() {
    for (int i = 0; i < 7; i++) {
      truth.push_back(motion(25.0 * i, 0.3, 1, 0.2 * i, 0.05 * i, -0.02 * i, 0.01));
      extents.push_back({point(0, 0, 0.1f), 0.2});
    }
    for (int a = 0; a < 7; a++)
      for (int b = a + 1; b < 7; b++) {
        PairOutcome p;
        p.a = a, p.b = b;
        p.verified = b < 6 && (b - a <= 2 || (a == 0 && b == 3));
        p.quality = 0.5f + 0.01f * float(a + b);
        // A small error of its own on every right pair.
        p.b_to_a = inverse(truth[size_t(a)]) * truth[size_t(b)] *
                   motion(0.05 * (a - b), 1, 0, 1, 0.0001 * a, 0, 0);
        if (a == 0 && b == 3) {
          p.quality = 0.99f;
          p.b_to_a = p.b_to_a * motion(30.0, 0, 1, 0, 0.01, 0, 0);
          wrong = pairs.size();
        }
        pairs.push_back(p);
      }
  }
};

TEST(ScanGraph, PlantedWrongPairIsRejectedAndTheLoneScanLeftOut) {
  const PlantedSet set;
  const SetPlan plan = plan_set(set.pairs, set.extents);
  EXPECT_EQ(plan.roles[set.wrong], PairRole::rejected) << plan.reasons[set.wrong];
  EXPECT_EQ(plan.anchor, 0);
  EXPECT_FALSE(plan.placed[6]);
  int tree = 0, loops = 0;
  for (PairRole r : plan.roles) tree += r == PairRole::tree, loops += r == PairRole::loop;
  EXPECT_EQ(tree, 5);
  EXPECT_EQ(loops, 4);
  EXPECT_EQ(plan.roles[0], PairRole::loop);  // 0-1, the weakest chain pair, is left to close a loop
  for (int i = 0; i < 6; i++) {
    ASSERT_TRUE(plan.placed[size_t(i)]);
    const PoseMatrix expected = inverse(set.truth[0]) * set.truth[size_t(i)];
    EXPECT_TRUE(poses_agree(plan.poses[size_t(i)], expected, set.extents[size_t(i)])) << i;
  }

  // The pose graph of the plan (the wrong pair offered as a loop closure
  // too) drops the wrong pair and keeps every scan where the pairs put it.
  std::string why;
  const PoseGraphOptimiser* optimiser = pose_graph_optimiser(&why);
  if (!optimiser) GTEST_SKIP() << why;
  MatchCloud patch;
  for (int i = 0; i < 20; i++)
    for (int j = 0; j < 20; j++)
      patch.points.push_back(point(0.01f * i - 0.1f, 0.01f * j - 0.1f, 0.02f * std::sin(0.5f * i + 0.3f * j)));
  std::vector<PoseGraphEdge> edges;
  for (size_t k = 0; k < set.pairs.size(); k++) {
    if (plan.roles[k] != PairRole::tree && plan.roles[k] != PairRole::loop && k != set.wrong) continue;
    PoseGraphEdge e;
    e.source = set.pairs[k].b, e.target = set.pairs[k].a;
    std::copy(set.pairs[k].b_to_a.m, set.pairs[k].b_to_a.m + 16, e.source_to_target);
    information_matrix(patch, patch, PoseMatrix(), 0.015, e.information);
    e.uncertain = plan.roles[k] != PairRole::tree;
    edges.push_back(e);
  }
  std::vector<double> poses;
  for (int i = 0; i < 6; i++) poses.insert(poses.end(), plan.poses[size_t(i)].m, plan.poses[size_t(i)].m + 16);
  PoseGraphSettings settings;
  settings.max_correspondence_distance = 0.015;
  std::vector<uint8_t> kept(edges.size());
  ASSERT_TRUE(optimiser->optimise(6, poses.data(), edges.data(), int(edges.size()), settings,
                                  kept.data(), why)) << why;
  for (size_t e = 0; e < edges.size(); e++)
    EXPECT_EQ(kept[e] != 0, !(edges[e].source == 3 && edges[e].target == 0)) << e;
  for (int i = 0; i < 6; i++) {
    PoseMatrix found;
    std::copy(&poses[16 * size_t(i)], &poses[16 * size_t(i)] + 16, found.m);
    EXPECT_TRUE(poses_agree(found, inverse(set.truth[0]) * set.truth[size_t(i)], set.extents[size_t(i)])) << i;
  }
}

}  // namespace
