#include <gtest/gtest.h>

#include <cmath>

#include "mesh/derived_meshes.h"

using test_meshes::CapturedText;
using Faces = std::vector<Face>;

using test_meshes::grid_mesh;

TEST(Grid, FullSquareSplitsAlongTheShorterDiagonal) {
  CapturedText text;
  // Equal diagonals: the ul-lr split.
  TriMesh even = grid_mesh(2, 2);
  even.need_faces();
  EXPECT_EQ(even.faces, (Faces{Face(0, 1, 2), Face(1, 3, 2)}));
  EXPECT_EQ(text.str(), "Triangulating... 2 faces.\n  Removing faces... None removed.\nDone.\n");

  // ur pulled towards ll makes ll-ur the shorter diagonal.
  TriMesh skewed = grid_mesh(2, 2);
  skewed.vertices[3] = point(0.6f, 0.6f, 1);
  skewed.need_faces();
  EXPECT_EQ(skewed.faces, (Faces{Face(0, 1, 3), Face(0, 3, 2)}));
  for (int f = 0; f < 2; f++) {
    EXPECT_GT(skewed.trinorm(f).z, 0.0f) << "faces keep the grid's counter-clockwise order";
  }
}

TEST(Grid, SquaresWithThreeSamplesGiveOneTriangle) {
  const Faces expected[4] = {
      {Face(1, 3, 2)},  // ll missing
      {Face(0, 3, 2)},  // lr missing
      {Face(0, 1, 3)},  // ul missing
      {Face(0, 1, 2)},  // ur missing
  };
  for (int missing = 0; missing < 4; missing++) {
    TriMesh m = grid_mesh(2, 2);
    m.grid[missing] = -1;
    m.need_faces();
    EXPECT_EQ(m.faces, expected[missing]) << "missing corner " << missing;
  }
  // Two samples make no triangle.
  TriMesh two = grid_mesh(2, 2);
  two.grid[0] = two.grid[3] = -1;
  two.need_faces();
  EXPECT_TRUE(two.faces.empty());
}

TEST(Grid, CellsAtTheOriginOrNamingNoVertexAreCleanedAway) {
  TriMesh m = grid_mesh(2, 2);
  m.vertices[0] = point(0, 0, 0);
  m.need_faces();
  EXPECT_EQ(m.faces, (Faces{Face(1, 3, 2)}));

  TriMesh wild = grid_mesh(2, 2);
  wild.grid = {0, 17, -5, 3};
  wild.triangulate_grid();
  // No face came of it, so nothing was removed and the cleaned grid is kept.
  EXPECT_EQ(wild.grid, (std::vector<int32_t>{0, -1, -1, 3}));
  EXPECT_TRUE(wild.faces.empty());
}

TEST(Grid, GridSmallerThanItsDimensionsGivesNoFaces) {
  CapturedText text;
  TriMesh m = grid_mesh(3, 3);
  m.grid_height = 5;  // 15 cells claimed, 9 held
  m.need_faces();
  EXPECT_TRUE(m.faces.empty());
  EXPECT_EQ(text.str(), "Triangulating... 0 faces.\n  Done.\n");
}

TEST(Grid, TypicalEdgeLengthIsTheMedianEdge) {
  // Every triangle of a unit grid has edges 1, 1 and sqrt(2): median 1,
  // whichever faces the generator picks.
  TriMesh m = grid_mesh(6, 6);
  EXPECT_FLOAT_EQ(m.typical_edge_length(), 1.0f);
  EXPECT_FLOAT_EQ(m.typical_edge_length(), 1.0f);
  // A lone triangle is sampled too.
  TriMesh lone;
  lone.vertices = {point(0, 0, 0), point(2, 0, 0), point(0, 3, 0)};
  lone.faces = {Face(0, 1, 2)};
  EXPECT_FLOAT_EQ(lone.typical_edge_length(), 3.0f);
  TriMesh cloud;
  cloud.vertices = {point(1, 2, 3)};
  EXPECT_EQ(cloud.typical_edge_length(), 0.0f);
}

TEST(Grid, SliversAcrossADepthJumpAreRemoved) {
  // A 12 x 12 unit grid whose last column lies 50 units further away: the
  // squares of the jump become pairs of needles (one short edge, two edges
  // of about 50 > 4 typical edges). Everything else stays.
  TriMesh m = grid_mesh(12, 12);
  for (int y = 0; y < 12; y++) m.vertices[y * 12 + 11].z = 51.0f;
  CapturedText text;
  m.need_faces();
  EXPECT_EQ(m.faces.size(), 11u * 10u * 2u);
  for (const Face& f : m.faces) {
    for (int j = 0; j < 3; j++) EXPECT_LT(m.vertices[f[j]].z, 2.0f);
  }
  EXPECT_NE(text.str().find("Triangulating... 242 faces.\n  Removing faces... 22 faces removed... Done.\n"),
            std::string::npos)
      << text.str();
  // The grid is gone: the faces are now the mesh's connectivity.
  EXPECT_TRUE(m.grid.empty());
  EXPECT_EQ(m.grid_width, -1);
}

TEST(Grid, LargeWellShapedTrianglesAreNotSlivers) {
  // One big equilateral triangle among small ones has long edges but a
  // measure of 0.25; a needle with the same long edges has about 1.
  TriMesh m = grid_mesh(8, 8);
  m.need_faces();
  const int base = static_cast<int>(m.vertices.size());
  m.vertices.push_back(point(100, 0, 0));
  m.vertices.push_back(point(200, 0, 0));
  m.vertices.push_back(point(150, 86.60254f, 0));
  m.vertices.push_back(point(100, 10, 0));
  m.vertices.push_back(point(100, 10.5f, 0));
  m.vertices.push_back(point(200, 10.2f, 0));
  const size_t fat = m.faces.size();
  m.faces.push_back(Face(base, base + 1, base + 2));
  m.faces.push_back(Face(base + 3, base + 5, base + 4));
  m.remove_slivers();
  ASSERT_EQ(m.faces.size(), fat + 1);
  EXPECT_EQ(m.faces.back(), Face(base, base + 1, base + 2));
}
