#include <gtest/gtest.h>

#include <random>

#include "mesh/derived_meshes.h"

using test_meshes::CapturedText;
using test_meshes::oriented_set;
using test_meshes::unpacked;
using V = std::vector<int32_t>;

namespace {

// Builds strips from the mesh's faces, then unpacks them on a copy that has
// only the strips: the triangles must come back, each with its orientation.
void expect_strips_reproduce_faces(const TriMesh& original, const char* what) {
  TriMesh m = original;
  m.need_tristrips();
  EXPECT_EQ(oriented_set(unpacked(m)), oriented_set(original.faces)) << what;
}

// A w x h grid mesh with a seeded random share of its cells missing.
TriMesh holey_grid(int w, int h, double missing_share, unsigned seed) {
  std::mt19937 random(seed);
  std::bernoulli_distribution missing(missing_share);
  std::vector<int> cells;
  for (int c = 0; c < w * h; c++) {
    if (missing(random)) cells.push_back(c);
  }
  TriMesh m = test_meshes::grid_mesh(w, h, cells);
  m.need_faces();
  return m;
}

}  // namespace

TEST(Strips, UnpackAlternatesOrientation) {
  CapturedText text;
  TriMesh m;
  m.vertices.resize(4);
  m.tristrips = {4, 0, 1, 2, 3};
  m.need_faces();
  ASSERT_EQ(m.faces.size(), 2u);
  EXPECT_EQ(m.faces[0], Face(0, 1, 2));
  EXPECT_EQ(m.faces[1], Face(2, 1, 3));
  EXPECT_EQ(text.str(), "Unpacking triangle strips... Done.\n  2 triangles\n");
}

TEST(Strips, NeedFacesPrefersStripsOverAGrid) {
  TriMesh m = test_meshes::grid_mesh(3, 3);
  m.tristrips = {3, 0, 1, 2};
  m.need_faces();
  ASSERT_EQ(m.faces.size(), 1u);
  EXPECT_EQ(m.faces[0], Face(0, 1, 2));
}

// Either form converts to the other and back unchanged, and a stream in
// the terminated form still unpacks to the same faces.
TEST(Strips, ConvertBetweenFormsAndBack) {
  TriMesh m;
  const V length_form = {3, 10, 11, 12, 0, 4, 20, 21, 22, 23};
  const V terminated = {10, 11, 12, -1, -1, 20, 21, 22, 23, -1};
  m.tristrips = length_form;
  for (int twice = 0; twice < 2; twice++) {
    m.convert_strips(TriMesh::TSTRIP_TERM);
    EXPECT_EQ(m.tristrips, terminated);
  }
  for (int twice = 0; twice < 2; twice++) {
    m.convert_strips(TriMesh::TSTRIP_LENGTH);
    EXPECT_EQ(m.tristrips, length_form);
  }
  m.tristrips = {7};
  m.convert_strips(TriMesh::TSTRIP_TERM);
  EXPECT_EQ(m.tristrips, V{-1});

  TriMesh built = holey_grid(10, 10, 0.1, 7);
  built.need_tristrips();
  TriMesh terminated_copy;
  terminated_copy.vertices = built.vertices;
  terminated_copy.tristrips = built.tristrips;
  terminated_copy.convert_strips(TriMesh::TSTRIP_TERM);
  terminated_copy.need_faces();
  EXPECT_EQ(oriented_set(terminated_copy.faces), oriented_set(built.faces));
}

TEST(Strips, BuiltStripsHoldExactlyTheFacesWithTheirOrientation) {
  expect_strips_reproduce_faces(test_meshes::octahedron(), "octahedron");
  expect_strips_reproduce_faces(test_meshes::fan(7), "fan");
  TriMesh full = test_meshes::grid_mesh(9, 6);
  full.need_faces();
  expect_strips_reproduce_faces(full, "full grid");
  for (unsigned seed = 1; seed <= 5; seed++) {
    expect_strips_reproduce_faces(holey_grid(12, 9, 0.2, seed), "grid with holes");
  }
  // Faces that repeat a vertex (a grid cell naming one sample twice) must not
  // change the other triangles: every single such face in every corner.
  TriMesh grid = test_meshes::grid_mesh(3, 3);
  grid.need_faces();
  for (size_t f = 0; f < grid.faces.size(); f++)
    for (int j = 0; j < 3; j++) {
      TriMesh repeated = grid;
      repeated.faces[f][j] = repeated.faces[f][(j + 1) % 3];
      expect_strips_reproduce_faces(repeated, "grid with a face repeating a vertex");
    }
  // Mixed orientation: the flipped face is linked to nothing but still drawn.
  TriMesh mixed = test_meshes::octahedron();
  std::swap(mixed.faces[3][0], mixed.faces[3][1]);
  expect_strips_reproduce_faces(mixed, "octahedron with one flipped face");
}

TEST(Strips, LongStripsOnARegularGrid) {
  TriMesh m = test_meshes::grid_mesh(20, 20);
  m.need_tristrips();
  int strips = 0;
  for (size_t at = 0; at < m.tristrips.size(); at += m.tristrips[at] + 1) strips++;
  // 722 triangles in 19 rows of squares; the walker runs along rows, so a
  // row needs at most a couple of strips, never one per face.
  EXPECT_LE(strips, 2 * 19);
}

TEST(Strips, MalformedStreamsUnpackOnlyRealTriangles) {
  TriMesh m;
  m.vertices.resize(4);
  // A length running past the end, a negative length, indices naming no
  // vertex: what is left is the triangles whose corners all exist.
  m.tristrips = {-2, 5, 9, 0, 1, 2, 3, 10, 2, 1, 3};
  m.need_faces();
  // [9 0 1 2 3] gives (9,0,1), dropped, then (1,0,2) and (1,2,3); the length
  // 10 is cut to the three indices left: (2,1,3).
  EXPECT_EQ(m.faces, (std::vector<Face>{Face(1, 0, 2), Face(1, 2, 3), Face(2, 1, 3)}));

  TriMesh bad_faces = test_meshes::octahedron();
  bad_faces.faces.push_back(Face(0, 99, 1));
  bad_faces.need_tristrips();
  EXPECT_EQ(oriented_set(unpacked(bad_faces)), oriented_set(test_meshes::octahedron().faces));
}

// Indices that name no vertex (negative, or past the end) must never make an
// operation read outside the mesh; whatever comes out may only name real
// vertices. Run under the address sanitizer in CI.
TEST(Strips, GarbageIndicesAreSkippedByEveryOperation) {
  std::mt19937 random(2024);
  for (int round = 0; round < 30; round++) {
    const int nv = 3 + int(random() % 12);
    std::uniform_int_distribution<int32_t> index(-3, nv + 2);
    TriMesh source;
    for (int v = 0; v < nv; v++) source.vertices.push_back(point(float(v % 4), float(v / 4), 1.0f + v));

    TriMesh with_faces = source;
    for (int f = 0; f < 12; f++) with_faces.faces.push_back(Face(index(random), index(random), index(random)));
    with_faces.need_neighbors();
    with_faces.need_tristrips();
    for (int v = -1; v <= nv; v++) with_faces.is_boundary(v);
    with_faces.typical_edge_length();
    with_faces.remove_slivers();

    TriMesh with_strips = source;
    for (int s = 0; s < 16; s++) with_strips.tristrips.push_back(index(random));
    with_strips.need_faces();
    for (const Face& f : with_strips.faces) {
      for (int j = 0; j < 3; j++) ASSERT_TRUE(f[j] >= 0 && f[j] < nv) << "round " << round;
    }
    with_strips.reorder_verts();

    TriMesh with_grid = source;
    with_grid.grid_width = 4;
    with_grid.grid_height = 1 + int(random() % 4);
    for (int c = 0; c < with_grid.grid_width * with_grid.grid_height; c++) with_grid.grid.push_back(index(random));
    with_grid.need_tristrips();
    with_grid.remove_unused_vertices();
    for (const Face& f : with_grid.faces) {
      for (int j = 0; j < 3; j++) {
        ASSERT_TRUE(f[j] >= 0 && f[j] < int(with_grid.vertices.size())) << "round " << round;
      }
    }

    std::vector<int> table(nv);
    for (int& t : table) t = int(random() % (nv + 1)) - 1;
    with_faces.remap_verts(table);
    with_strips.remove_vertices(std::vector<bool>(nv, true));
  }
}
