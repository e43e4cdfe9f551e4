#include <gtest/gtest.h>

#include "mesh/derived_meshes.h"

using test_meshes::CapturedText;
using test_meshes::oriented_set;
using test_meshes::unpacked;
using Faces = std::vector<Face>;

namespace {

// Gives every vertex data that names it: its confidence is its index, its
// colour and normal are derived from it, its flag word is index + 100. After
// a renumbering, confidences[v] tells which old vertex v was.
void tag_vertices(TriMesh& m) {
  const size_t nv = m.vertices.size();
  m.confidences.resize(nv);
  m.colors.resize(nv);
  m.normals.resize(nv);
  m.flags.resize(nv);
  for (size_t v = 0; v < nv; v++) {
    m.confidences[v] = float(v);
    m.colors[v] = Color(v / 100.0f, 0.5f, 1.0f - v / 100.0f);
    m.normals[v] = point(0, 0, float(v));
    m.flags[v] = uint32_t(v + 100);
  }
}

// Expects every per-vertex array of `m` to hold the data its old vertex had.
void expect_data_follows_vertices(const TriMesh& m, const TriMesh& old) {
  const size_t nv = m.vertices.size();
  ASSERT_EQ(m.confidences.size(), nv);
  ASSERT_EQ(m.colors.size(), nv);
  ASSERT_EQ(m.normals.size(), nv);
  ASSERT_EQ(m.flags.size(), nv);
  for (size_t v = 0; v < nv; v++) {
    const int was = int(m.confidences[v]);
    EXPECT_EQ(m.vertices[v], old.vertices[was]) << "new vertex " << v;
    EXPECT_EQ(m.colors[v], old.colors[was]) << "new vertex " << v;
    EXPECT_EQ(m.normals[v], old.normals[was]) << "new vertex " << v;
    EXPECT_EQ(m.flags[v], old.flags[was]) << "new vertex " << v;
  }
}

// The faces renamed to the old vertices they stand for.
Faces in_old_numbering(const Faces& faces, const TriMesh& m) {
  Faces out;
  for (const Face& f : faces) {
    out.push_back(Face(int(m.confidences[f[0]]), int(m.confidences[f[1]]), int(m.confidences[f[2]])));
  }
  return out;
}

// The faces that use none of the removed vertices.
Faces faces_without(const Faces& faces, const std::vector<bool>& removed) {
  Faces out;
  for (const Face& f : faces) {
    if (!removed[f[0]] && !removed[f[1]] && !removed[f[2]]) out.push_back(f);
  }
  return out;
}

}  // namespace

TEST(RemoveVertices, FacesTablesAndStripsFollowTheNewNumbering) {
  TriMesh m = test_meshes::octahedron();
  tag_vertices(m);
  m.need_tristrips();
  m.need_neighbors();
  m.need_bounding_box();
  m.need_point_areas();
  const TriMesh before = m;
  std::vector<bool> removed(6, false);
  CapturedText text;
  m.remove_vertices(removed);
  m.remove_vertices({});
  EXPECT_EQ(text.str(), "Removing vertices... None removed.\nRemoving vertices... None removed.\n");
  EXPECT_EQ(m.faces, before.faces);

  removed[2] = true;  // (0, 1, 0): the box loses its top
  m.remove_vertices(removed);
  EXPECT_NE(text.str().find("1 vertices removed... Done.\n"), std::string::npos);

  ASSERT_EQ(m.vertices.size(), 5u);
  expect_data_follows_vertices(m, before);
  const auto expected = oriented_set(faces_without(before.faces, removed));
  EXPECT_EQ(oriented_set(in_old_numbering(m.faces, m)), expected);
  EXPECT_EQ(oriented_set(in_old_numbering(unpacked(m), m)), expected);

  // The tables present before are there again, as a fresh build makes them.
  TriMesh fresh;
  fresh.vertices = m.vertices;
  fresh.faces = m.faces;
  fresh.need_neighbors();
  fresh.need_across_edge();
  EXPECT_EQ(m.neighbors, fresh.neighbors);
  EXPECT_EQ(m.vertex_faces, fresh.vertex_faces);
  EXPECT_EQ(m.across_edge, fresh.across_edge);
  ASSERT_TRUE(m.bounding_box.valid);
  EXPECT_EQ(m.bounding_box.max, point(1, 0, 1));
  EXPECT_EQ(m.point_areas.size(), 5u);
  EXPECT_EQ(m.corner_areas.size(), m.faces.size());
}

TEST(RemoveVertices, GridCellsFollowTheNewNumbering) {
  TriMesh m = test_meshes::grid_mesh(4, 3, {6});
  tag_vertices(m);
  const TriMesh before = m;
  std::vector<bool> removed(12, false);
  removed[1] = removed[9] = true;
  m.remove_vertices(removed);
  ASSERT_EQ(m.vertices.size(), 10u);
  expect_data_follows_vertices(m, before);
  ASSERT_EQ(m.grid.size(), 12u);
  EXPECT_EQ(m.grid_width, 4);
  for (int cell = 0; cell < 12; cell++) {
    const bool gone = cell == 1 || cell == 6 || cell == 9;
    EXPECT_EQ(m.grid[cell] < 0 ? -1 : int(m.confidences.at(m.grid[cell])), gone ? -1 : cell);
  }
  // Any negative table entry drops its vertex; the cell reads -1.
  std::vector<int> table(10);
  for (int v = 0; v < 10; v++) table[v] = v == 0 ? -7 : v - 1;
  m.remap_verts(table);
  EXPECT_EQ(m.grid[0], -1);
  EXPECT_EQ(m.grid[2], 0);
}

TEST(RemoveVertices, SplitStripsKeepEveryOtherTriangleWithItsOrientation) {
  // One strip along a row of squares. Removing any one vertex splits it at
  // an even or odd position; the kept triangles must keep their orientation
  // either way, and no piece too short for a triangle may remain.
  TriMesh row = test_meshes::grid_mesh(8, 2);
  row.grid.clear();
  row.tristrips = {16};
  for (int x = 0; x < 8; x++) row.tristrips.insert(row.tristrips.end(), {8 + x, x});
  const Faces all = unpacked(row);
  for (int gone = 0; gone < 16; gone++) {
    TriMesh m;
    m.vertices = row.vertices;
    m.tristrips = row.tristrips;
    tag_vertices(m);
    std::vector<bool> removed(16, false);
    removed[gone] = true;
    m.remove_vertices(removed);
    EXPECT_TRUE(m.faces.empty()) << "faces made for the call are discarded again";
    for (size_t at = 0; at < m.tristrips.size(); at += m.tristrips[at] + 1) {
      EXPECT_GE(m.tristrips[at], 3) << "removing " << gone;
    }
    EXPECT_EQ(oriented_set(in_old_numbering(unpacked(m), m)), oriented_set(faces_without(all, removed)))
        << "removing " << gone;
  }
}

TEST(RemoveVertices, UnusedVerticesGoPointSetsStay) {
  TriMesh m = test_meshes::octahedron();
  // Two loose vertices in the middle of the array.
  m.vertices.insert(m.vertices.begin() + 3, {point(5, 5, 5), point(6, 6, 6)});
  for (Face& f : m.faces) {
    for (int j = 0; j < 3; j++) f[j] += f[j] >= 3 ? 2 : 0;
  }
  tag_vertices(m);
  const TriMesh before = m;
  m.remove_unused_vertices();
  ASSERT_EQ(m.vertices.size(), 6u);
  expect_data_follows_vertices(m, before);
  EXPECT_EQ(oriented_set(in_old_numbering(m.faces, m)), oriented_set(before.faces));

  // A point set has no faces to judge use by: it keeps its points.
  TriMesh cloud;
  cloud.vertices = {point(1, 0, 0), point(0, 1, 0)};
  cloud.remove_unused_vertices();
  EXPECT_EQ(cloud.vertices.size(), 2u);
}

TEST(Renumbering, ReorderFollowsFirstUse) {
  CapturedText text;
  // Faces use the vertices from the back; vertex 6 is loose.
  TriMesh m;
  m.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), point(1, 1, 0),
                point(2, 0, 0), point(2, 1, 0), point(9, 9, 9)};
  m.faces = {Face(5, 4, 3), Face(3, 4, 1), Face(1, 2, 3), Face(2, 1, 0)};
  tag_vertices(m);
  const TriMesh before = m;
  m.reorder_verts();
  EXPECT_EQ(text.str(), "Reordering vertices... Done.\n");
  const std::vector<float> old_of_new = {5, 4, 3, 1, 2, 0, 6};
  EXPECT_EQ(m.confidences, old_of_new);
  expect_data_follows_vertices(m, before);
  EXPECT_EQ(m.faces, (Faces{Face(0, 1, 2), Face(2, 1, 3), Face(3, 4, 2), Face(4, 3, 5)}));

  // On a grid, cell order decides.
  TriMesh g = test_meshes::grid_mesh(3, 3);
  std::reverse(g.vertices.begin(), g.vertices.end());
  for (int32_t& cell : g.grid) cell = 8 - cell;
  g.reorder_verts();
  for (int cell = 0; cell < 9; cell++) {
    EXPECT_EQ(g.grid[cell], cell);
    EXPECT_EQ(g.vertices[cell], point(float(cell % 3), float(cell / 3), 1.0f));
  }
}

TEST(Renumbering, BadTablesAreRefusedAndChangeNothing) {
  TriMesh m = test_meshes::octahedron();
  tag_vertices(m);
  const TriMesh before = m;
  CapturedText text;
  m.remap_verts({0, 1, 2});
  EXPECT_EQ(text.errors(), "remap_verts called with wrong table size!\n");
  m.remap_verts({0, 1, 2, 3, 4, 6});
  EXPECT_EQ(text.errors(), "remap_verts called with wrong table size!\n"
                           "remap_verts called with an index out of range!\n");
  EXPECT_EQ(m.vertices, before.vertices);
  EXPECT_EQ(m.faces, before.faces);
  EXPECT_EQ(m.colors, before.colors);

  // A table keeping nothing leaves an empty mesh.
  m.remap_verts(std::vector<int>(6, -1));
  EXPECT_TRUE(m.vertices.empty());
  EXPECT_TRUE(m.faces.empty());
  EXPECT_TRUE(m.colors.empty());
}

TEST(RemoveFaces, StripsAreRebuiltAndGridFacesKept) {
  // Strips only: faces are made for the call, strips rebuilt, faces dropped.
  TriMesh stripped = test_meshes::octahedron();
  stripped.need_tristrips();
  stripped.faces.clear();
  stripped.across_edge.clear();
  stripped.vertex_faces.release();
  stripped.bounding_box.valid = true;
  std::vector<bool> marks(8, false);
  marks[0] = marks[5] = true;
  // The bitmap counts faces in the order the strips unpack to.
  Faces expected = unpacked(stripped);
  expected.erase(expected.begin() + 5);
  expected.erase(expected.begin());
  CapturedText text;
  stripped.remove_faces(marks);
  EXPECT_NE(text.str().find("Removing faces... 2 faces removed... Done.\n"), std::string::npos);
  EXPECT_TRUE(stripped.faces.empty());
  EXPECT_FALSE(stripped.bounding_box.valid);
  EXPECT_EQ(oriented_set(unpacked(stripped)), oriented_set(expected));

  // Grid only: the grid goes, and the faces that replace it stay.
  TriMesh g = test_meshes::grid_mesh(3, 3);
  g.remove_faces({true});
  EXPECT_TRUE(g.grid.empty());
  EXPECT_EQ(g.faces.size(), 7u);
}
