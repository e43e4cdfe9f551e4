// The 6 x 6 eigen-decomposition and damped solve, and the two solver steps:
// exact cases (zero error, centroid alignment), the pair-count limits, the
// sampling-step floor and the error bookkeeping by mode.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "registration/Aligner.h"
#include "registration/KDtree.h"
#include "registration/eigen_symmetric.h"
#include "registration/sampler.h"
#include "test_meshes.h"

namespace {

using testmesh::fill_slot;
using testmesh::height_field;

const float kEigenTol = 1e-4f;

// Fixed meshes with trees and uniform cdfs; mesh 2 placed by `pose2`.
void ready_pair(Aligner& a, const PoseMatrix& pose2, int n = 14) {
  fill_slot(*a.slots[0], height_field(n, n, -1, -1, 1, 1, false));
  fill_slot(*a.slots[1], height_field(n, n, -1, -1, 1, 1, false), pose2);
  for (auto& s : a.slots) {
    s->kdtree = std::make_unique<KDtree>(s->mesh->vertices);
    s->mesh->need_vertex_faces();
  }
  a.max_dist = 1.0f;
  a.verbosity = 0;
  a.reset_cdfs();
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

TEST(EigenSymmetric, DecomposesRandomSymmetricMatrices) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int trial = 0; trial < 20; trial++) {
    float a[6][6];
    for (int r = 0; r < 6; r++)
      for (int c = r; c < 6; c++) a[r][c] = a[c][r] = u(rng);
    float evals[6], evecs[6][6];
    eigen_symmetric6(a, evals, evecs);
    for (int k = 0; k < 5; k++) EXPECT_LE(evals[k], evals[k + 1]);
    for (int k = 0; k < 6; k++) {
      for (int r = 0; r < 6; r++) {
        float av = 0.0f;
        for (int c = 0; c < 6; c++) av += a[r][c] * evecs[c][k];
        EXPECT_NEAR(av, evals[k] * evecs[r][k], kEigenTol) << "trial " << trial;
      }
      for (int j = 0; j < 6; j++) {
        float d = 0.0f;
        for (int r = 0; r < 6; r++) d += evecs[r][k] * evecs[r][j];
        EXPECT_NEAR(d, j == k ? 1.0f : 0.0f, kEigenTol);
      }
    }
  }
}

TEST(EigenSymmetric, DampedSolveLeavesWeakDirectionsStill) {
  // Diagonal system: eigenvalue 0.005 of axis 2 is below 1 % of the largest
  // (1.0) and gets no motion; 0.01 exactly is kept (the test is strict).
  float a[6][6] = {};
  const float diag[6] = {1.0f, 0.5f, 0.005f, 0.01f, 0.2f, 0.0f};
  for (int k = 0; k < 6; k++) a[k][k] = diag[k];
  float evals[6], evecs[6][6], x[6];
  eigen_symmetric6(a, evals, evecs);
  EXPECT_EQ(evals[0], 0.0f);
  EXPECT_EQ(evals[5], 1.0f);
  const float b[6] = {1, 1, 1, 1, 1, 1};
  damped_solve6(evals, evecs, b, 0.01f, x);
  EXPECT_NEAR(x[0], 1.0f, 1e-6f);
  EXPECT_NEAR(x[1], 2.0f, 1e-6f);
  EXPECT_EQ(x[2], 0.0f);
  EXPECT_NEAR(x[3], 100.0f, 1e-3f);
  EXPECT_NEAR(x[4], 5.0f, 1e-5f);
  EXPECT_EQ(x[5], 0.0f);  // a zero eigenvalue never divides
}

TEST(PointToPoint, TranslateOnlyAlignsThePairCentroids) {
  Aligner a;
  a.mode = 1;
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
  ASSERT_EQ(a.history_icp.size(), 1u);
  EXPECT_EQ(a.history_icp[0], a.error_icp);
  EXPECT_GT(a.error_icp, 0.0f);
}

TEST(PointToPoint, RotationStepReducesARotatedStart) {
  Aligner a;
  a.mode = 2;
  ready_pair(a, rotation(0.05, 0.0, 0.0, 1.0));
  float incr = 0.04f;
  set_sample_generator_state(1);
  float before = 0.0f;
  for (int i = 0; i < 6; i++) {
    ASSERT_TRUE(a.step_point_to_point(incr, false));
    if (i == 0) before = a.error_color;
  }
  EXPECT_LT(a.error_color, 0.5f * before);
  EXPECT_EQ(a.history_color.size(), 6u);  // mode 2 records in the colour history
  EXPECT_TRUE(a.history_icp.empty());
}

TEST(PointToPlane, ZeroErrorLeavesThePoseAndMode0RecordsNothing) {
  Aligner a;
  a.mode = 1;
  ready_pair(a, PoseMatrix());
  float incr = 0.02f;
  set_sample_generator_state(4);
  ASSERT_TRUE(a.step_point_to_plane(incr, false, false, false));
  EXPECT_EQ(a.error_icp, 0.0f);
  EXPECT_EQ(a.slots[1]->pose, PoseMatrix());  // b = 0: no motion at all

  // Mode 0 collects nothing: too few pairs, nothing recorded or moved.
  a.mode = 0;
  a.history_icp.clear();
  a.slots[1]->pose = translation(0.1, 0, 0);
  testing::internal::CaptureStderr();
  a.verbosity = 1;
  ASSERT_TRUE(a.step_point_to_plane(incr, true, false, false));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Too few point pairs2.\n");
  EXPECT_TRUE(a.history_icp.empty());
  EXPECT_EQ(a.slots[1]->pose, translation(0.1, 0, 0));
}

TEST(PointToPlane, MinPairsIsInclusiveAndTooFewChangesNothing) {
  Aligner a;
  a.mode = 1;
  ready_pair(a, translation(0.0, 0.0, 0.03));
  const float incr = 0.05f;
  size_t n = pairs_for(a, incr, 77, 6.25f).size();
  ASSERT_GT(n, 30u);

  a.min_pairs = int(n) + 1;
  float step_incr = incr;
  float radius = a.max_dist;
  PoseMatrix start = a.slots[1]->pose;
  set_sample_generator_state(77);
  ASSERT_TRUE(a.step_point_to_plane(step_incr, false, false, false));
  EXPECT_EQ(step_incr, incr);
  EXPECT_EQ(a.max_dist, radius);
  EXPECT_EQ(a.slots[1]->pose, start);
  EXPECT_TRUE(a.history_icp.empty());

  a.min_pairs = int(n);
  set_sample_generator_state(77);
  ASSERT_TRUE(a.step_point_to_plane(step_incr, false, false, false));
  EXPECT_EQ(a.history_icp.size(), 1u);
  EXPECT_FALSE(a.slots[1]->pose == start);
  // The radius at most halves per accepted step.
  EXPECT_GE(a.max_dist, 0.5f * radius);
  // A shift along the surface normal direction is largely undone in one step.
  point probe = a.slots[1]->pose * point(0.0f, 0.0f, 0.0f);
  EXPECT_LT(std::fabs(probe.z), 0.01f);
}

TEST(PointToPlane, SamplingStepHasAFloor) {
  Aligner a;
  a.mode = 1;
  ready_pair(a, translation(0.0, 0.0, 0.01));
  a.pairs_plane = 1000000000;  // incr * n / pairs_plane drops far below 0.0001
  float incr = 0.05f;
  set_sample_generator_state(8);
  ASSERT_TRUE(a.step_point_to_plane(incr, false, false, false));
  EXPECT_EQ(incr, 0.001f);
}
