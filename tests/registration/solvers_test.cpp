// The solver steps: centroid alignment of a translate-only step, the
// pair-count limit and the sampling-step floor.
#include <gtest/gtest.h>

#include <vector>

#include "registration/Aligner.h"
#include "registration/icp_steps.h"
#include "registration/sampler.h"
#include "test_meshes.h"

namespace {

// The pairs a step will see when it starts with generator state `seed`.
std::vector<PointPair> pairs_for(Aligner& a, float incr, uint32_t seed, float factor) {
  std::vector<PointPair> pairs;
  set_sample_generator_state(seed);
  IcpSteps::collect_pairs(a, incr, pairs, false);
  IcpSteps::collect_pairs(a, incr, pairs, true);
  IcpSteps::reject_pairs(a, pairs, factor);
  return pairs;
}

}  // namespace

TEST(PointToPoint, TranslateOnlyAlignsThePairCentroids) {
  Aligner a;
  a.mode = IcpMode::geometric;
  a.params.verbosity = 0;
  testmesh::tree_pair(a, 14, false, translation(0.05, -0.03, 0.02));
  const float incr = 0.08f;
  std::vector<PointPair> pairs = pairs_for(a, incr, 42, kPointRejectFactor);
  ASSERT_FALSE(pairs.empty());
  point shift;  // from the centroid of the p2 to that of the p1
  for (const PointPair& p : pairs) shift += (p.p1 - p.p2) / float(pairs.size());
  const PoseMatrix expected = translation(shift) * a.slots[1]->pose;
  set_sample_generator_state(42);
  float step_incr = incr;
  ASSERT_TRUE(IcpSteps::step_point_to_point(a, step_incr, true));
  for (int i = 0; i < 16; i++) EXPECT_NEAR(a.slots[1]->pose[i], expected[i], 1e-6);
  EXPECT_EQ(a.icp.history, std::vector<float>{a.icp.error});
}

// Mesh 2 is a copy of mesh 1 moved by less than half a grid spacing, so every
// pair joins a vertex to its own copy and the least-squares motion (the
// closed-form solution) is that motion itself; the linearised rotation step
// reaches it up to second order in the angle. Both scans are turned well away
// from the axes so that every off-diagonal term of the 3 x 3 system counts.
TEST(PointToPoint, RotationStepRecoversTheMotionOfExactPairs) {
  Aligner a;
  a.mode = IcpMode::geometric;
  a.params.verbosity = 0;
  const PoseMatrix common = rotation(0.7, 1.0, 2.0, 0.5);
  const PoseMatrix motion = translation(0.004, -0.006, 0.003) * rotation(0.006, 0.3, -1.0, 0.6);
  testmesh::tree_pair(a, 14, false, inverse(motion) * common);
  a.slots[0]->pose = common;
  set_sample_generator_state(5);
  float incr = 0.04f;
  ASSERT_TRUE(IcpSteps::step_point_to_point(a, incr, false));
  ASSERT_EQ(a.icp.history.size(), 1u);
  for (int i = 0; i < 16; i++) EXPECT_NEAR(a.slots[1]->pose[i], common[i], 2e-5) << i;
}

TEST(PointToPlane, MinPairsIsInclusiveTooFewChangesNothingAndTheStepHasAFloor) {
  Aligner a;
  a.mode = IcpMode::geometric;
  a.params.verbosity = 0;
  testmesh::tree_pair(a, 14, false, translation(0.0, 0.0, 0.03));
  const float incr = 0.05f;
  size_t n = pairs_for(a, incr, 77, kPlaneRejectFactor).size();
  ASSERT_GT(n, 30u);

  a.params.min_pairs = int(n) + 1;
  float step_incr = incr;
  float radius = a.params.max_dist;
  PoseMatrix start = a.slots[1]->pose;
  set_sample_generator_state(77);
  ASSERT_TRUE(IcpSteps::step_point_to_plane(a, step_incr, false));
  EXPECT_EQ(step_incr, incr);
  EXPECT_EQ(a.params.max_dist, radius);
  EXPECT_EQ(a.slots[1]->pose, start);
  EXPECT_TRUE(a.icp.history.empty());

  a.params.min_pairs = int(n);
  set_sample_generator_state(77);
  ASSERT_TRUE(IcpSteps::step_point_to_plane(a, step_incr, false));
  EXPECT_EQ(a.icp.history.size(), 1u);
  EXPECT_FALSE(a.slots[1]->pose == start);
  // The radius at most halves per accepted step.
  EXPECT_GE(a.params.max_dist, 0.5f * radius);
  // The next sampling step, incr * n / pairs_plane, has a floor.
  a.params.pairs_plane = 1000000000;
  a.params.min_pairs = 1;
  ASSERT_TRUE(IcpSteps::step_point_to_plane(a, step_incr, false));
  EXPECT_EQ(step_incr, 0.001f);
}
