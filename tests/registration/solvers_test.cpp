// The two solver steps: exact cases (zero error, centroid alignment), the pair-count limits, the
// sampling-step floor and the error bookkeeping by mode.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "registration/Aligner.h"
#include "registration/sampler.h"
#include "test_meshes.h"

namespace {

// Fixed meshes with trees and uniform cdfs; mesh 2 placed by `pose2`.
void ready_pair(Aligner& a, const PoseMatrix& pose2) {
  testmesh::tree_pair(a, 14, false, pose2);
  a.verbosity = 0;
}

// The pairs a step will see when it starts with generator state `seed`.
std::vector<PointPair> pairs_for(Aligner& a, float incr, uint32_t seed, float factor) {
  std::vector<PointPair> pairs;
  set_sample_generator_state(seed);
  a.collect_pairs(incr, pairs, false);
  a.collect_pairs(incr, pairs, true);
  a.reject_pairs(pairs, factor);
  return pairs;
}

}  // namespace

TEST(PointToPoint, TranslateOnlyAlignsThePairCentroids) {
  Aligner a;
  a.mode = IcpMode::geometric;
  ready_pair(a, translation(0.05, -0.03, 0.02));
  const float incr = 0.08f;
  std::vector<PointPair> pairs = pairs_for(a, incr, 42, 19.782983779907227f);
  ASSERT_FALSE(pairs.empty());
  point c1, c2;
  for (const PointPair& p : pairs) c1 += p.p1, c2 += p.p2;
  c1 /= float(pairs.size());
  c2 /= float(pairs.size());
  PoseMatrix before = a.slots[1]->pose;

  set_sample_generator_state(42);
  float step_incr = incr;
  ASSERT_TRUE(a.step_point_to_point(step_incr, true));
  PoseMatrix expected = translation(c1 - c2) * before;
  for (int i = 0; i < 16; i++) EXPECT_NEAR(a.slots[1]->pose[i], expected[i], 1e-6);
  EXPECT_FLOAT_EQ(step_incr, incr * float(pairs.size()) / 50.0f);
  ASSERT_EQ(a.icp.history.size(), 1u);
  EXPECT_EQ(a.icp.history[0], a.icp.error);
  EXPECT_GT(a.icp.error, 0.0f);
}

TEST(PointToPoint, RotationStepReducesARotatedStart) {
  Aligner a;
  a.mode = IcpMode::color;
  ready_pair(a, rotation(0.05, 0.0, 0.0, 1.0));
  float incr = 0.04f;
  set_sample_generator_state(1);
  float before = 0.0f;
  for (int i = 0; i < 6; i++) {
    ASSERT_TRUE(a.step_point_to_point(incr, false));
    if (i == 0) before = a.color.error;
  }
  EXPECT_LT(a.color.error, 0.5f * before);
  EXPECT_EQ(a.color.history.size(), 6u);  // mode 2 records in the colour history
  EXPECT_TRUE(a.icp.history.empty());
}

TEST(PointToPlane, ZeroErrorLeavesThePoseAndMode0RecordsNothing) {
  Aligner a;
  a.mode = IcpMode::geometric;
  ready_pair(a, PoseMatrix());
  float incr = 0.02f;
  set_sample_generator_state(4);
  ASSERT_TRUE(a.step_point_to_plane(incr, false));
  EXPECT_EQ(a.icp.error, 0.0f);
  EXPECT_EQ(a.slots[1]->pose, PoseMatrix());  // b = 0: no motion at all

  // Mode 0 collects nothing: too few pairs, nothing recorded or moved.
  a.mode = IcpMode::none;
  a.icp.history.clear();
  a.slots[1]->pose = translation(0.1, 0, 0);
  testing::internal::CaptureStderr();
  a.verbosity = 1;
  ASSERT_TRUE(a.step_point_to_plane(incr, true));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Too few point pairs2.\n");
  EXPECT_TRUE(a.icp.history.empty());
  EXPECT_EQ(a.slots[1]->pose, translation(0.1, 0, 0));
}

TEST(PointToPlane, MinPairsIsInclusiveAndTooFewChangesNothing) {
  Aligner a;
  a.mode = IcpMode::geometric;
  ready_pair(a, translation(0.0, 0.0, 0.03));
  const float incr = 0.05f;
  size_t n = pairs_for(a, incr, 77, 6.25f).size();
  ASSERT_GT(n, 30u);

  a.min_pairs = int(n) + 1;
  float step_incr = incr;
  float radius = a.max_dist;
  PoseMatrix start = a.slots[1]->pose;
  set_sample_generator_state(77);
  ASSERT_TRUE(a.step_point_to_plane(step_incr, false));
  EXPECT_EQ(step_incr, incr);
  EXPECT_EQ(a.max_dist, radius);
  EXPECT_EQ(a.slots[1]->pose, start);
  EXPECT_TRUE(a.icp.history.empty());

  a.min_pairs = int(n);
  set_sample_generator_state(77);
  ASSERT_TRUE(a.step_point_to_plane(step_incr, false));
  EXPECT_EQ(a.icp.history.size(), 1u);
  EXPECT_FALSE(a.slots[1]->pose == start);
  // The radius at most halves per accepted step.
  EXPECT_GE(a.max_dist, 0.5f * radius);
  // A shift along the surface normal direction is largely undone in one step.
  point probe = a.slots[1]->pose * point(0.0f, 0.0f, 0.0f);
  EXPECT_LT(std::fabs(probe.z), 0.01f);
}

TEST(PointToPlane, SamplingStepHasAFloor) {
  Aligner a;
  a.mode = IcpMode::geometric;
  ready_pair(a, translation(0.0, 0.0, 0.01));
  a.pairs_plane = 1000000000;  // incr * n / pairs_plane drops far below 0.0001
  float incr = 0.05f;
  set_sample_generator_state(8);
  ASSERT_TRUE(a.step_point_to_plane(incr, false));
  EXPECT_EQ(incr, 0.001f);
}
