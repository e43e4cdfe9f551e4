// Pairing, rejection, overlap weights and sampling distributions.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "registration/Aligner.h"
#include "registration/color_dirs.h"
#include "registration/compat.h"
#include "registration/sampler.h"
#include "registration/significant_colors.h"
#include "spatial/KDtree.h"
#include "test_meshes.h"

namespace {

using testmesh::fill_slot;
using testmesh::height_field;

PointPair pair_at_distance(float d) {
  PointPair p;
  p.p2 = point(d, 0.0f, 0.0f);
  p.normal1 = point(0.0f, 0.0f, 1.0f);
  return p;
}

bool same_pairs(const std::vector<PointPair>& a, const std::vector<PointPair>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (a[i].p1 != b[i].p1 || a[i].p2 != b[i].p2 || a[i].normal1 != b[i].normal1) return false;
  return true;
}

// Two copies of one coloured height field, trees built, uniform cdfs, colour
// data in place: what a step finds when collect_pairs runs.
void identical_pair(Aligner& a, int n = 12) {
  testmesh::tree_pair(a, n, true);
  for (auto& s : a.slots) {
    compute_color_dirs(*s);
    s->color_tolerance = 0.0f;  // every vertex with neighbours is significant
    build_significant_colors(*s);
  }
}

}  // namespace

// Median: the value of rank n/2 in ascending order (the upper middle), found
// without reordering; rejection keeps the pairs at or below factor * median in
// their order.
TEST(MedianAndRejection, UpperMiddleRankAndOrderKeepingRejection) {
  Aligner a;
  a.verbosity = 0;
  EXPECT_EQ(a.median_dist2({}), 0.0f);
  std::vector<PointPair> pairs;
  for (float d : {1.0f, 5.0f, 2.0f, 2.5f, 0.5f, 3.0f}) pairs.push_back(pair_at_distance(d));
  // Squared: 1, 25, 4, 6.25, 0.25, 9; rank 3 of the sorted six is 6.25.
  EXPECT_FLOAT_EQ(a.median_dist2(pairs), 6.25f);
  EXPECT_EQ(pairs[1].p2.x, 5.0f);  // not reordered
  // Threshold 6.25 * 1 keeps equality and drops 25 and 9.
  EXPECT_FLOAT_EQ(a.reject_pairs(pairs, 1.0f), 6.25f);
  std::vector<float> kept;
  for (const PointPair& p : pairs) kept.push_back(p.p2.x);
  EXPECT_EQ(kept, (std::vector<float>{1.0f, 2.0f, 2.5f, 0.5f}));
  // All pairs at distance 0: the median is 0 and everything survives (0 <= 0).
  std::vector<PointPair> zeros(5, pair_at_distance(0));
  EXPECT_EQ(a.reject_pairs(zeros, 6.25f), 0.0f);
  EXPECT_EQ(zeros.size(), 5u);
}

TEST(SamplingDistribution, ResetIsUniformEndingInOne) {
  Aligner a;
  fill_slot(*a.slots[0], height_field(3, 1 + 2, -1, -1, 1, 1));  // 9 vertices
  a.reset_cdfs();
  const std::vector<float>& cdf = a.slots[0]->cdf;
  ASSERT_EQ(cdf.size(), 9u);
  for (size_t i = 0; i + 1 < cdf.size(); i++) EXPECT_EQ(cdf[i], float(i + 1) / 9.0f);
  EXPECT_EQ(cdf.back(), 1.0f);
  EXPECT_TRUE(a.slots[1]->cdf.empty());  // no mesh in slot 1
}

TEST(SamplingDistribution, NoMassFailsOnMeshOneAndLeavesMeshTwo) {
  Aligner a;
  identical_pair(a);
  a.slots[0]->weights.assign(a.slots[0]->mesh->vertices.size(), 0.0f);
  a.slots[1]->weights.assign(a.slots[1]->mesh->vertices.size(), 1.0f);
  std::vector<float> before = a.slots[1]->cdf;
  float evals[6] = {1, 1, 1, 1, 1, 1}, evecs[6][6] = {};
  for (int k = 0; k < 6; k++) evecs[k][k] = 1.0f;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(a.update_cdfs(evals, evecs, point(), 1.0f));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "No overlap.\n");
  EXPECT_EQ(a.slots[1]->cdf, before);

  // With mass everywhere the result is a proper distribution.
  a.slots[0]->weights.assign(a.slots[0]->mesh->vertices.size(), 1.0f);
  ASSERT_TRUE(a.update_cdfs(evals, evecs, point(), 1.0f));
  for (auto& s : a.slots) {
    for (size_t i = 1; i < s->cdf.size(); i++) EXPECT_LE(s->cdf[i - 1], s->cdf[i]);
    EXPECT_EQ(s->cdf.back(), 1.0f);
  }
}

TEST(Pairing, SamplesFollowTheDistribution) {
  Aligner a;
  identical_pair(a);
  a.mode = IcpMode::geometric;
  // All mass on vertices 40 and 100 (interior), split 30 / 70: every sample
  // is one of them, and the share of each follows its mass.
  std::vector<float>& cdf = a.slots[0]->cdf;
  for (size_t i = 0; i < cdf.size(); i++) cdf[i] = i < 40 ? 0.0f : (i < 100 ? 0.3f : 1.0f);
  std::vector<PointPair> pairs;
  set_sample_generator_state(11);
  a.collect_pairs(0.01f, pairs, false);
  const std::vector<point>& v = a.slots[0]->mesh->vertices;
  size_t at40 = 0, at100 = 0;
  for (const PointPair& p : pairs) {
    if (p.p1 == v[40]) at40++;
    else if (p.p1 == v[100]) at100++;
    else ADD_FAILURE() << "sampled a vertex without mass";
  }
  ASSERT_EQ(at40 + at100, pairs.size());
  EXPECT_NEAR(double(at40) / double(pairs.size()), 0.3, 0.06);
}

TEST(Pairing, LargeStepMaySampleNothing) {
  Aligner a;
  identical_pair(a);
  a.mode = IcpMode::geometric;
  std::vector<PointPair> pairs;
  set_sample_generator_state(0);  // first draw 0.236: 0.236 * 1e9 >= 1 ends the pass
  a.collect_pairs(1e9f, pairs, false);
  EXPECT_TRUE(pairs.empty());
}

TEST(Pairing, ColourModeAppendsColourPairsAfterGeometricOnes) {
  Aligner a;
  identical_pair(a);
  std::vector<PointPair> geometric, colour_only, both;
  const uint32_t seed = 12345;
  a.mode = IcpMode::geometric;
  set_sample_generator_state(seed);
  a.collect_pairs(0.04f, geometric, false);
  a.mode = IcpMode::color;
  set_sample_generator_state(seed);
  a.collect_pairs(0.04f, both, false);
  // With every feature mark clear the geometric pass pairs nothing but draws
  // the same numbers, so the colour pass then sees the same samples.
  a.slots[0]->feature_marks.assign(a.slots[0]->mesh->vertices.size(), false);
  set_sample_generator_state(seed);
  a.collect_pairs(0.04f, colour_only, false);
  ASSERT_FALSE(geometric.empty());
  ASSERT_FALSE(colour_only.empty());
  std::vector<PointPair> expected = geometric;
  expected.insert(expected.end(), colour_only.begin(), colour_only.end());
  EXPECT_TRUE(same_pairs(both, expected));
}

TEST(Pairing, FeatureMarksRestrictTheGeometricPass) {
  Aligner a;
  identical_pair(a);
  a.mode = IcpMode::geometric;
  std::vector<bool>& marks = a.slots[0]->feature_marks;
  marks.assign(a.slots[0]->mesh->vertices.size(), false);
  for (size_t i = 0; i < marks.size(); i += 3) marks[i] = true;
  std::vector<PointPair> pairs;
  set_sample_generator_state(99);
  a.collect_pairs(0.02f, pairs, false);
  ASSERT_FALSE(pairs.empty());
  const std::vector<point>& v = a.slots[0]->mesh->vertices;
  for (const PointPair& p : pairs) {
    size_t i = size_t(std::find(v.begin(), v.end(), p.p1) - v.begin());
    ASSERT_LT(i, v.size());
    EXPECT_TRUE(marks[i]) << "unmarked vertex " << i << " sampled";
  }
}

TEST(Pairing, IdenticalScansPairEachInteriorVertexWithItselfInTheWorldFrame) {
  Aligner a;
  identical_pair(a);
  a.mode = IcpMode::geometric;
  // The same rigid motion on both meshes: every pair joins a vertex to
  // itself, in the moved frame, and normal1 is turned with it.
  PoseMatrix motion = translation(0.3, -0.2, 0.1) * rotation(0.4, 0.0, 0.0, 1.0);
  a.slots[0]->pose = motion;
  a.slots[1]->pose = motion;
  std::vector<PointPair> pairs;
  set_sample_generator_state(3);
  a.collect_pairs(0.05f, pairs, false);
  a.collect_pairs(0.05f, pairs, true);
  ASSERT_GT(pairs.size(), 10u);
  const TriMesh& m = *a.slots[0]->mesh;
  for (const PointPair& p : pairs) {
    EXPECT_LT(dist(p.p1, p.p2), 1e-5f);
    bool found = false;
    for (size_t i = 0; i < m.vertices.size() && !found; i++) {
      if (dist(motion * m.vertices[i], p.p1) < 1e-6f) {
        found = true;
        EXPECT_LT(dist(transform_direction(motion, m.normals[i]), p.normal1), 1e-5f);
        // Boundary vertices of the grid (x or y at +-1) are never paired.
        EXPECT_LT(std::fabs(m.vertices[i].x), 1.0f);
        EXPECT_LT(std::fabs(m.vertices[i].y), 1.0f);
      }
    }
    EXPECT_TRUE(found);
  }
}

TEST(OverlapWeights, StrictBoxAndOccupiedCells) {
  Aligner a;
  identical_pair(a, 10);
  a.max_dist = 0.0f;
  a.update_overlap_weights();
  // Unset radius: the grid cell size, largest extent / 16.
  EXPECT_FLOAT_EQ(a.max_dist, 2.0f / 16.0f);
  const TriMesh& m = *a.slots[0]->mesh;
  const std::vector<float>& w = a.slots[0]->weights;
  ASSERT_EQ(w.size(), m.vertices.size());
  float zmin = 1e9f, zmax = -1e9f;
  for (const point& v : m.vertices) zmin = std::min(zmin, v.z), zmax = std::max(zmax, v.z);
  for (size_t i = 0; i < w.size(); i++) {
    const point& v = m.vertices[i];
    // Vertices on a face of the other mesh's box fail the strict test; all
    // others lie in their own (occupied) cell.
    bool on_box = std::fabs(v.x) == 1.0f || std::fabs(v.y) == 1.0f || v.z == zmin || v.z == zmax;
    EXPECT_EQ(w[i], on_box ? 0.0f : 1.0f) << "vertex " << i;
  }
  // Moved far away, nothing overlaps.
  a.slots[1]->pose = translation(10, 0, 0);
  a.update_overlap_weights();
  for (float x : a.slots[0]->weights) EXPECT_EQ(x, 0.0f);
  for (float x : a.slots[1]->weights) EXPECT_EQ(x, 0.0f);
  // The grids are kept between calls, but only for the vertex array they
  // were built over: new vertices far away in mesh 2's own frame overlap
  // nothing either.
  a.slots[1]->pose = PoseMatrix();
  std::vector<point> far = a.slots[1]->mesh->vertices;
  for (point& v : far) v.x += 10.0f;
  a.slots[1]->mesh->vertices = std::move(far);
  a.update_overlap_weights();
  for (float x : a.slots[0]->weights) EXPECT_EQ(x, 0.0f);
}

namespace {

// A closed tetrahedron (no boundary vertices) with outward-ish normals.
TriMesh compat_tetrahedron() {
  TriMesh m;
  m.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), point(0, 0, 1)};
  m.faces = {Face(0, 2, 1), Face(0, 1, 3), Face(0, 3, 2), Face(1, 2, 3)};
  m.normals = {point(0, 0, -1), point(1, 0, 0), point(0, 1, 0), point(0, 0, 1)};
  m.colors = {Color(0.5f, 0.5f, 0.5f), Color(0.75f, 0.5f, 0.5f), Color(0.5f, 0.5f, 0.75f), Color(0, 0, 0)};
  return m;
}

// Each predicate at its thresholds on vertex 1 (normal (1, 0, 0), colour
// 0.25 from grey, direction dot 0.5): strict for normals and colour distance,
// inclusive for the direction; missing data rejects.
TEST(CompatPredicates, ThresholdsAndMissingData) {
  TriMesh m = compat_tetrahedron();
  const float* v1 = m.vertices[1].data();
  std::vector<point> dirs = {point(1, 0, 0), point(0.5f, 0, 0), point(0, 1, 0), point(1, 0, 0)};
  const Color grey(0.5f, 0.5f, 0.5f);
  const point x(1, 0, 0);
  EXPECT_TRUE(NormCompat(x, &m, 0.5f)(v1));
  EXPECT_FALSE(NormCompat(point(0.5f, 0, 0), &m, 0.5f)(v1));  // dot exactly min_dot
  EXPECT_FALSE(NormCompat(point(-1, 0, 0), &m, 0.5f)(v1));
  EXPECT_TRUE(ColorCompat(grey, x, &m, 0.5f, 0.3f, dirs.data())(v1));
  EXPECT_FALSE(ColorCompat(grey, x, &m, 0.5f, 0.25f, dirs.data())(v1));
  EXPECT_FALSE(ColorCompat(grey, x, &m, 0.6f, 0.3f, dirs.data())(v1));
  EXPECT_FALSE(ColorCompat(grey, x, &m, 0.5f, 0.3f, nullptr)(v1));
  m.normals.clear();  // interior vertices cannot be judged without normals
  m.colors.clear();
  EXPECT_FALSE(NormCompat(x, &m, 0.5f)(v1));
  EXPECT_FALSE(ColorCompat(grey, x, &m, 0.5f, 0.3f, dirs.data())(v1));
  // Every vertex of a lone triangle is on its boundary: accepted whatever its normal.
  TriMesh tri;
  tri.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0)};
  tri.faces = {Face(0, 1, 2)};
  tri.normals.assign(3, point(0, 0, 1));
  EXPECT_TRUE(NormCompat(point(0, 0, -1), &tri, 0.9f)(tri.vertices[1].data()));
}

}  // namespace
