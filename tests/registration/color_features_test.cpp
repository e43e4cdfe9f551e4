// Colour-difference directions, significant colours and their cache rules,
// and the ridge/valley face test with the collect pass that marks vertices.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "mesh/diagnostics.h"
#include "registration/color_dirs.h"
#include "registration/color_features.h"
#include "registration/curvature_scale.h"
#include "registration/load_scan.h"
#include "registration/ridge_lines.h"
#include "registration/significant_colors.h"
#include "test_meshes.h"

namespace {

std::string g_progress;
void capture_progress(const char* text) { g_progress += text; }

// A star: vertex 0 joined to vertices 1..k (neighbour lists set by hand),
// colours given per vertex.
std::unique_ptr<TriMesh> star(const std::vector<Color>& colors) {
  auto mesh = std::make_unique<TriMesh>();
  mesh->vertices.resize(colors.size());
  mesh->colors = colors;
  mesh->neighbors.resize(colors.size());
  for (int32_t j = 1; j < int32_t(colors.size()); j++) {
    mesh->neighbors[0].push_back(j);
    mesh->neighbors[size_t(j)].push_back(0);
  }
  return mesh;
}

// One triangle with curvature data set by hand: k, e and principal_dir1 per corner.
std::unique_ptr<TriMesh> curved_triangle(const float k[3], const float e[3], const point dir[3]) {
  auto mesh = std::make_unique<TriMesh>();
  mesh->vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0)};
  mesh->tristrips = {3, 0, 1, 2};
  for (int v = 0; v < 3; v++) {
    mesh->principal_curv1.push_back(k[v]);
    mesh->principal_dir1.push_back(dir[v]);
    TriMesh::Dcurv d;
    d[0] = e[v];
    mesh->dcurv.push_back(d);
  }
  return mesh;
}

}  // namespace

TEST(ColorDirs, UnitDifferenceFromNeighbourMeanComputedOnceZeroAtTheMean) {
  MeshSlot slot;
  // Vertex 0 red among two blue neighbours; 3 has no neighbours.
  slot.mesh = star({Color(1, 0, 0), Color(0, 0, 1), Color(0, 0, 1)});
  slot.mesh->vertices.emplace_back();
  slot.mesh->colors.emplace_back(0.5f, 0.5f, 0.5f);
  slot.mesh->neighbors.emplace_back();
  g_progress.clear();
  set_progress_hook(capture_progress);
  compute_color_dirs(slot);
  EXPECT_EQ(g_progress, "Calculando diferencia de color entre puntos vecinos... Hecho.\n");
  ASSERT_EQ(slot.color_dirs.size(), 4u);
  const float h = 1.0f / std::sqrt(2.0f);
  EXPECT_NEAR(slot.color_dirs[0].x, h, 1e-6f);
  EXPECT_NEAR(slot.color_dirs[0].z, -h, 1e-6f);
  EXPECT_NEAR(slot.color_dirs[1].x, -h, 1e-6f);  // blue minus its red neighbour
  EXPECT_EQ(slot.color_dirs[3], point());       // no neighbours: zero vector
  // Already sized: nothing recomputed, nothing printed.
  g_progress.clear();
  slot.color_dirs[0] = point(9, 9, 9);
  compute_color_dirs(slot);
  EXPECT_EQ(g_progress, "");
  EXPECT_EQ(slot.color_dirs[0], point(9, 9, 9));
  set_progress_hook(nullptr);
  // A colour equal to its neighbours' mean has no direction.
  slot.mesh = star({Color(0.5f, 0.5f, 0.5f), Color(0.25f, 0.5f, 0.5f), Color(0.75f, 0.5f, 0.5f)});
  slot.color_dirs.clear();
  set_verbose(false);
  compute_color_dirs(slot);
  set_verbose(true);
  EXPECT_EQ(slot.color_dirs[0], point());
}

TEST(SignificantColors, MoreThanAThirdOfNeighboursMustDiffer) {
  const Color base(0.5f, 0.5f, 0.5f), red_off(0.6f, 0.5f, 0.5f);
  MeshSlot slot;
  slot.color_tolerance = 5.0f;
  // Three neighbours, one differing: 1 is not more than 3 / 3, stays white.
  slot.mesh = star({base, red_off, base, base});
  build_significant_colors(slot);
  EXPECT_EQ(slot.significant_flags[0], 0);
  EXPECT_EQ(slot.significant_colors[0], Color(1, 1, 1));
  // Two of three differ: keeps its colour.
  slot.mesh = star({base, red_off, red_off, base});
  build_significant_colors(slot);
  EXPECT_EQ(slot.significant_flags[0], 1);
  EXPECT_EQ(slot.significant_colors[0], base);
  // Exactly at the tolerance counts: 100 * 0.25 = 25.
  slot.color_tolerance = 25.0f;
  slot.mesh = star({Color(0.5f, 0.25f, 0.5f), Color(0.5f, 0.5f, 0.5f)});
  build_significant_colors(slot);
  EXPECT_EQ(slot.significant_flags[0], 1);
  // A full blue difference weighs 100 / 256: significant only up to 0.390625.
  slot.mesh = star({Color(0, 0, 0), Color(0, 0, 1)});
  slot.color_tolerance = 0.390625f;
  build_significant_colors(slot);
  EXPECT_EQ(slot.significant_flags[0], 1);
  slot.color_tolerance = 0.4f;
  build_significant_colors(slot);
  EXPECT_EQ(slot.significant_flags[0], 0);
}

TEST(SignificantColors, CacheRulesOfDisplayAndAlignment) {
  MeshSlot slot;
  slot.mesh = star({Color(0, 0, 0), Color(1, 1, 1)});
  slot.color_tolerance = 5.5f;
  EXPECT_TRUE(significant_colors_stale(slot));  // empty
  EXPECT_TRUE(refresh_significant_colors(slot));
  EXPECT_EQ(slot.color_cache_key, 5.0f);
  slot.color_tolerance = 5.9f;  // same whole number: the display keeps its colours
  EXPECT_FALSE(refresh_significant_colors(slot));
  EXPECT_TRUE(significant_colors_stale(slot));  // 5.9 != 5.0 for the alignment
  slot.color_tolerance = 5.0f;
  EXPECT_FALSE(significant_colors_stale(slot));
  slot.color_tolerance = 6.0f;
  EXPECT_TRUE(refresh_significant_colors(slot));
}

TEST(RidgeLines, CrossingFaceGivesOneSegmentAndMarksNearestVertices) {
  // k > 0 everywhere; e * dir1 points from a towards b and from b towards a
  // along x (a maximum between them), and c agrees with b.
  const float k[3] = {1.0f, 1.0f, 1.0f};
  const float e[3] = {1.0f, -3.0f, -1.0f};
  const point dir[3] = {point(1, 0, 0), point(1, 0, 0), point(1, 0, 0)};
  auto mesh = curved_triangle(k, e, dir);
  std::vector<RidgeSegment> segs;
  trace_ridge_lines(*mesh, RidgeKind::ridge, 0.0f, nullptr, segs);
  ASSERT_EQ(segs.size(), 1u);
  // z_ab and z_ca hold, z_bc does not: segment(c, a, b) from edge c-a to edge a-b.
  // First end on c-a: w = |e_c| / (|e_c| + |e_a|) = 0.5, midpoint of c and a.
  EXPECT_NEAR(segs[0].p1.x, 0.0f, 1e-6f);
  EXPECT_NEAR(segs[0].p1.y, 0.5f, 1e-6f);
  // Second end on a-b: weight of b = |e_a| / (|e_a| + |e_b|) = 0.25.
  EXPECT_NEAR(segs[0].p2.x, 0.25f, 1e-6f);
  EXPECT_EQ(segs[0].near1, 0);  // tie at 0.5 goes to the edge's second vertex (a)
  EXPECT_EQ(segs[0].near2, 0);  // a is nearer than b

  // Valleys need k < 0 at all corners: none here.
  segs.clear();
  trace_ridge_lines(*mesh, RidgeKind::valley, 0.0f, nullptr, segs);
  EXPECT_TRUE(segs.empty());
  // A threshold above |k| at both ends drops the segment.
  trace_ridge_lines(*mesh, RidgeKind::ridge, 1.5f, nullptr, segs);
  EXPECT_TRUE(segs.empty());
  // Back-facing at all three corners: skipped in draw mode only.
  const float ndotv[3] = {-1.0f, 0.0f, -0.5f};
  trace_ridge_lines(*mesh, RidgeKind::ridge, 0.0f, ndotv, segs);
  EXPECT_TRUE(segs.empty());

  MeshSlot slot;
  slot.mesh = std::move(mesh);
  slot.curvature_scale = 1.0f;
  slot.feature_marks.assign(3, false);
  mark_ridge_vertices(slot, 0.0f, true, true);
  EXPECT_EQ(slot.feature_marks, (std::vector<bool>{true, false, false}));
}

TEST(RidgeLines, SignChangeOfCurvatureGivesNothing) {
  const float k[3] = {1.0f, -1.0f, 1.0f};
  const float e[3] = {1.0f, -3.0f, -1.0f};
  const point dir[3] = {point(1, 0, 0), point(1, 0, 0), point(1, 0, 0)};
  auto mesh = curved_triangle(k, e, dir);
  std::vector<RidgeSegment> segs;
  trace_ridge_lines(*mesh, RidgeKind::ridge, 0.0f, nullptr, segs);
  trace_ridge_lines(*mesh, RidgeKind::valley, 0.0f, nullptr, segs);
  EXPECT_TRUE(segs.empty());
}

TEST(RidgeLines, AllEdgesCrossingMeetAtTheCentroid) {
  // Directions turning around the triangle make every pair of corners oppose.
  const float k[3] = {-2.0f, -2.0f, -2.0f};
  const float e[3] = {1.0f, 1.0f, 1.0f};
  const point dir[3] = {point(-1, -1, 0), point(1, 0, 0), point(0, 1, 0)};
  // Valley: t = -e * dir = (1, 1), (-1, 0), (0, -1): every product is <= 0.
  auto mesh = curved_triangle(k, e, dir);
  std::vector<RidgeSegment> segs;
  trace_ridge_lines(*mesh, RidgeKind::valley, 0.0f, nullptr, segs);
  ASSERT_EQ(segs.size(), 3u);
  for (const RidgeSegment& s : segs) {
    EXPECT_NEAR(s.p2.x, 1.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(s.p2.y, 1.0f / 3.0f, 1e-6f);
    EXPECT_EQ(s.near2, -1);
  }
}

TEST(ColorFeatures, PreparationMarksAndBuildsBothSlots) {
  Aligner a;
  for (int k = 0; k < 2; k++) {
    testmesh::fill_slot(*a.slots[k], testmesh::height_field(16, 16, -1, -1, 1, 1));
    set_verbose(false);
    testmesh::derive_like_load(*a.slots[k]);
    set_verbose(true);
  }
  prepare_color_features(a, 0.0f);
  for (auto& s : a.slots) {
    ASSERT_EQ(s->feature_marks.size(), s->mesh->vertices.size());
    ASSERT_EQ(s->significant_flags.size(), s->mesh->vertices.size());
    int marks = 0, flags = 0;
    for (bool m : s->feature_marks) marks += m;
    for (int f : s->significant_flags) flags += f;
    EXPECT_GT(marks, 0);  // the wave has ridges and valleys
    EXPECT_GT(flags, 0);  // block borders are significant
    EXPECT_EQ(s->color_cache_key, -1.0f);  // the key belongs to the display
  }
}

TEST(CurvatureScale, SmallerOfSphereShareAndPercentile) {
  MeshSlot slot;
  slot.mesh = std::make_unique<TriMesh>();
  slot.mesh->vertices = {point(-1, 0, 0), point(1, 0, 0)};
  set_verbose(false);
  compute_curvature_scale(slot);  // no curvatures: 5 % of the radius (1)
  EXPECT_FLOAT_EQ(slot.curvature_scale, 0.05f);
  // |curv| all 4: q = 4, b = 0.0025 < a.
  slot.mesh->principal_curv1 = {4.0f, -4.0f};
  slot.mesh->principal_curv2 = {4.0f, 4.0f};
  compute_curvature_scale(slot);
  EXPECT_FLOAT_EQ(slot.curvature_scale, 0.0025f);
  // Zero curvature at the 10th percentile: b is infinite, a wins.
  slot.mesh->principal_curv2 = {0.0f, 0.0f};
  compute_curvature_scale(slot);
  EXPECT_FLOAT_EQ(slot.curvature_scale, 0.05f);
  set_verbose(true);
}

TEST(LoadScan, PosePathAndFailedReadLeavesTheSlotEmpty) {
  EXPECT_EQ(pose_path_for("dir/scan.ply"), "dir/scan.xf");
  EXPECT_EQ(pose_path_for("dir.v2/scan"), "");  // a dot in a folder name is no extension
  EXPECT_EQ(pose_path_for("scan"), "");
  MeshSlot slot;
  slot.mesh = std::make_unique<TriMesh>();
  set_verbose(false);
  EXPECT_FALSE(load_scan(slot, 1, "/nonexistent/scan.ply"));
  set_verbose(true);
  EXPECT_FALSE(slot.mesh);
  EXPECT_FALSE(slot.loaded);
  EXPECT_EQ(slot.index, 1);
}
