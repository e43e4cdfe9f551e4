#include "app/curvature_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// A slot whose mesh has n vertices with given curvatures and radius 10.
MeshSlot slot_with_curvatures(const std::vector<float>& k1, const std::vector<float>& k2) {
  MeshSlot s;
  s.mesh = std::make_unique<TriMesh>();
  s.mesh->vertices.assign(k1.size(), point());
  s.mesh->principal_curv1 = k1;
  s.mesh->principal_curv2 = k2;
  s.mesh->bounding_sphere.radius = 10.0f;
  s.mesh->bounding_sphere.valid = true;
  return s;
}

// The rule worked out independently: sort every sample and take rank m.
float expected_scale(const std::vector<float>& k1, const std::vector<float>& k2, uint32_t gen) {
  size_t n = k1.size();
  size_t count = std::min<size_t>(n, 500);
  std::vector<float> samples;
  for (size_t s = 0; s < count; s++) {
    gen = gen * 1664525u + 1013904223u;
    samples.push_back(std::fabs(k1[gen % n]));
    samples.push_back(std::fabs(k2[gen % n]));
  }
  std::sort(samples.begin(), samples.end());
  float q = samples[size_t(samples.size() * 0.1)];
  float a = 0.5f;  // 0.05 * radius 10
  if (q == 0.0f) return a;
  return std::min(0.01f / q, a);
}

}  // namespace

TEST(CurvatureScale, TakesTheTenthPercentileOfRandomSamples) {
  std::vector<float> k1, k2;
  for (int i = 0; i < 2000; i++) {
    k1.push_back(0.5f + 0.01f * float(i % 97));
    k2.push_back(-0.3f - 0.02f * float(i % 31));
  }
  MeshSlot s = slot_with_curvatures(k1, k2);
  uint32_t gen = 12345;
  compute_curvature_scale(s, gen);
  EXPECT_FLOAT_EQ(s.curvature_scale, expected_scale(k1, k2, 12345));
  // 500 picks advanced the generator; the next call carries on from there.
  uint32_t manual = 12345;
  for (int i = 0; i < 500; i++) manual = manual * 1664525u + 1013904223u;
  EXPECT_EQ(gen, manual);
}

TEST(CurvatureScale, SmallMeshesRepeatPicksAndFlatOnesUseTheRadius) {
  // 3 vertices: 3 picks (6 samples), m = 0 -> the smallest sample.
  MeshSlot s = slot_with_curvatures({2.0f, 4.0f, 8.0f}, {1.0f, 1.0f, 1.0f});
  uint32_t gen = 0;
  compute_curvature_scale(s, gen);
  EXPECT_FLOAT_EQ(s.curvature_scale, 0.01f);  // q = 1 -> b = 0.01 < a = 0.5

  MeshSlot flat = slot_with_curvatures({0.0f, 0.0f}, {0.0f, 0.0f});
  compute_curvature_scale(flat, gen);
  EXPECT_FLOAT_EQ(flat.curvature_scale, 0.5f);  // q = 0: b infinite, a wins
}

TEST(CurvatureScale, MeshWithoutCurvaturesFallsBackToTheRadius) {
  MeshSlot s = slot_with_curvatures({}, {});
  uint32_t gen = 7;
  compute_curvature_scale(s, gen);
  EXPECT_FLOAT_EQ(s.curvature_scale, 0.5f);
  EXPECT_EQ(gen, 7u);  // no picks

  // Nothing usable at all (no vertices, radius 0): a finite, positive scale.
  MeshSlot empty;
  empty.mesh = std::make_unique<TriMesh>();
  compute_curvature_scale(empty, gen);
  EXPECT_GT(empty.curvature_scale, 0.0f);

  // NaN curvatures rank last instead of breaking the selection.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  MeshSlot odd = slot_with_curvatures({nan, nan}, {nan, nan});
  compute_curvature_scale(odd, gen);
  EXPECT_FLOAT_EQ(odd.curvature_scale, 0.5f);
}
