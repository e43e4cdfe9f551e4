// Colour-difference directions, significant colours and their cache rules,
// the ridge/valley face test with the collect pass that marks vertices, and
// the pose file's name.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mesh/diagnostics.h"
#include "registration/color_dirs.h"
#include "registration/color_features.h"
#include "registration/load_scan.h"
#include "registration/ridge_lines.h"
#include "registration/significant_colors.h"
#include "test_meshes.h"

namespace {

// A star: vertex 0 joined to vertices 1..k, colours given per vertex; the
// last `unjoined` vertices are left out.
std::unique_ptr<TriMesh> star(const std::vector<Color>& colors, int32_t unjoined = 0) {
  auto mesh = std::make_unique<TriMesh>();
  mesh->vertices.resize(colors.size());
  mesh->colors = colors;
  std::vector<std::vector<int32_t>> lists(colors.size());
  for (int32_t j = 1; j < int32_t(colors.size()) - unjoined; j++) {
    lists[0].push_back(j);
    lists[size_t(j)].push_back(0);
  }
  mesh->neighbors = AdjacencyTable::from_lists(lists);
  return mesh;
}

// One triangle with curvature data set by hand: k, e and principal_dir1 per corner.
std::unique_ptr<TriMesh> curved_triangle(const float k[3], const float e[3], const point dir[3]) {
  auto mesh = std::make_unique<TriMesh>();
  mesh->vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0)};
  mesh->tristrips = {3, 0, 1, 2};
  mesh->dcurv.resize(3);
  for (int v = 0; v < 3; v++) {
    mesh->principal_curv1.push_back(k[v]);
    mesh->principal_dir1.push_back(dir[v]);
    mesh->dcurv[size_t(v)][0] = e[v];
  }
  return mesh;
}

}  // namespace

TEST(ColorDirs, UnitDifferenceFromNeighbourMeanComputedOnceZeroAtTheMean) {
  MeshSlot slot;
  // Vertex 0 red among two blue neighbours; 3 has no neighbours.
  slot.mesh = star({Color(1, 0, 0), Color(0, 0, 1), Color(0, 0, 1), Color(0.5f, 0.5f, 0.5f)}, 1);
  set_verbose(false);
  compute_color_dirs(slot);
  ASSERT_EQ(slot.color_dirs.size(), 4u);
  const float h = 1.0f / std::sqrt(2.0f);
  EXPECT_LT(dist(slot.color_dirs[0], point(h, 0, -h)), 1e-6f);
  EXPECT_LT(dist(slot.color_dirs[1], point(-h, 0, h)), 1e-6f);  // blue minus its red neighbour
  EXPECT_EQ(slot.color_dirs[3], point());                       // no neighbours: zero vector
  slot.color_dirs[0] = point(9, 9, 9);  // already sized: nothing recomputed
  compute_color_dirs(slot);
  EXPECT_EQ(slot.color_dirs[0], point(9, 9, 9));
  // A colour equal to its neighbours' mean has no direction.
  slot.mesh = star({Color(0.5f, 0.5f, 0.5f), Color(0.25f, 0.5f, 0.5f), Color(0.75f, 0.5f, 0.5f)});
  slot.color_dirs.clear();
  compute_color_dirs(slot);
  set_verbose(true);
  EXPECT_EQ(slot.color_dirs[0], point());
}

// A vertex keeps its colour when more than a third of its neighbours differ
// by at least the tolerance (100 * the largest channel difference, blue
// weighing 100 / 256); others turn white.
TEST(SignificantColors, MoreThanAThirdOfNeighboursMustDiffer) {
  const Color base(0.5f, 0.5f, 0.5f), off(0.6f, 0.5f, 0.5f);
  const struct { std::vector<Color> star; float tolerance; int flag; } cases[] = {
      {{base, off, base, base}, 5.0f, 0},  // one of three is not more than a third
      {{base, off, off, base}, 5.0f, 1},
      {{Color(0.5f, 0.25f, 0.5f), base}, 25.0f, 1},  // exactly at the tolerance counts
      {{Color(0, 0, 0), Color(0, 0, 1)}, 0.390625f, 1},
      {{Color(0, 0, 0), Color(0, 0, 1)}, 0.4f, 0},
  };
  for (const auto& c : cases) {
    MeshSlot slot;
    slot.mesh = star(c.star);
    slot.color_tolerance = c.tolerance;
    build_significant_colors(slot);
    EXPECT_EQ(slot.significant_flags[0], c.flag) << "case " << &c - cases;
    EXPECT_EQ(slot.significant_colors[0], c.flag ? c.star[0] : Color(1, 1, 1)) << "case " << &c - cases;
  }
}

// The display rebuilds when the whole-number tolerance changes or the colours
// do not fit the mesh; the alignment wants colours of the exact tolerance.
TEST(SignificantColors, CacheRulesOfDisplayAndAlignment) {
  MeshSlot slot;
  slot.mesh = star({Color(0, 0, 0), Color(1, 1, 1)});
  slot.color_tolerance = 5.5f;
  EXPECT_TRUE(significant_colors_stale(slot));  // empty
  EXPECT_TRUE(refresh_significant_colors(slot));
  slot.color_tolerance = 5.9f;
  EXPECT_FALSE(refresh_significant_colors(slot));
  EXPECT_TRUE(significant_colors_stale(slot));
  slot.color_tolerance = 5.0f;
  EXPECT_FALSE(significant_colors_stale(slot));
  slot.mesh = star({Color(0, 0, 0), Color(1, 1, 1), Color(0, 0, 0)});
  EXPECT_TRUE(refresh_significant_colors(slot));  // same key, a bigger mesh
  EXPECT_EQ(slot.significant_colors.size(), 3u);
  slot.color_tolerance = 6.0f;
  EXPECT_TRUE(refresh_significant_colors(slot));
}

TEST(RidgeLines, KnownSegmentsOfOneFaceAndTheMarksTheyLeave) {
  // k > 0 everywhere; e * dir1 points from a towards b and from b towards a
  // along x (a maximum between them), and c agrees with b.
  const float k[3] = {1, 1, 1}, k_mixed[3] = {1, -1, 1}, e[3] = {1, -3, -1};
  const point dir[3] = {point(1, 0, 0), point(1, 0, 0), point(1, 0, 0)};
  auto mesh = curved_triangle(k, e, dir);
  std::vector<RidgeSegment> segs;
  trace_ridge_lines(*mesh, RidgeKind::ridge, 0.0f, nullptr, segs);
  ASSERT_EQ(segs.size(), 1u);
  // z_ab and z_ca hold, z_bc does not: segment(c, a, b) from edge c-a to edge
  // a-b. First end: w = |e_c| / (|e_c| + |e_a|) = 0.5, the midpoint of c and a;
  // second end: weight of b = |e_a| / (|e_a| + |e_b|) = 0.25.
  EXPECT_LT(dist(segs[0].p1, point(0, 0.5f, 0)), 1e-6f);
  EXPECT_LT(dist(segs[0].p2, point(0.25f, 0, 0)), 1e-6f);
  EXPECT_EQ(segs[0].near1, 0);  // tie at 0.5 goes to the edge's second vertex (a)
  EXPECT_EQ(segs[0].near2, 0);  // a is nearer than b
  // Nothing for valleys (k < 0 needed at all corners), for a threshold above
  // |k| at both ends, for back-facing corners in draw mode, nor where k changes sign.
  segs.clear();
  const float ndotv[3] = {-1.0f, 0.0f, -0.5f};
  trace_ridge_lines(*mesh, RidgeKind::valley, 0.0f, nullptr, segs);
  trace_ridge_lines(*mesh, RidgeKind::ridge, 1.5f, nullptr, segs);
  trace_ridge_lines(*mesh, RidgeKind::ridge, 0.0f, ndotv, segs);
  for (RidgeKind kind : {RidgeKind::ridge, RidgeKind::valley})
    trace_ridge_lines(*curved_triangle(k_mixed, e, dir), kind, 0.0f, nullptr, segs);
  EXPECT_TRUE(segs.empty());

  MeshSlot slot;
  slot.mesh = std::move(mesh);
  slot.curvature_scale = 1.0f;
  slot.feature_marks.assign(3, false);
  mark_ridge_vertices(slot, 0.0f, true, true);
  EXPECT_EQ(slot.feature_marks, (std::vector<bool>{true, false, false}));

  // Directions turning around the triangle make every pair of corners oppose:
  // valley directions t = -e * dir = (1, 1), (-1, 0), (0, -1) give three
  // segments that meet at the centroid.
  const float k_valley[3] = {-2, -2, -2}, e_one[3] = {1, 1, 1};
  const point turning[3] = {point(-1, -1, 0), point(1, 0, 0), point(0, 1, 0)};
  trace_ridge_lines(*curved_triangle(k_valley, e_one, turning), RidgeKind::valley, 0.0f, nullptr, segs);
  ASSERT_EQ(segs.size(), 3u);
  for (const RidgeSegment& seg : segs) {
    EXPECT_LT(dist(seg.p2, point(1.0f / 3.0f, 1.0f / 3.0f, 0)), 1e-6f);
    EXPECT_EQ(seg.near2, -1);
  }
}

