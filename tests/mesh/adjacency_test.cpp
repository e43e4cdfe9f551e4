#include <gtest/gtest.h>

#include <algorithm>

#include "geometry/parallel.h"
#include "mesh/derived_meshes.h"

using test_meshes::CapturedText;
using V = std::vector<int32_t>;

namespace {

TriMesh two_triangles(Face second) {
  TriMesh m;
  m.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), point(1, 1, 0)};
  m.faces = {Face(0, 1, 2), second};
  return m;
}

}  // namespace

TEST(Adjacency, TwoTrianglesListEveryNeighbourAndAcrossEdge) {
  TriMesh m = two_triangles(Face(2, 1, 3));
  m.need_neighbors();
  m.need_vertex_faces();
  m.need_across_edge();
  // Vertex 1 first meets face 0, which gives 2 then 0 (cyclic order after 1);
  // face 1 adds 3.
  EXPECT_EQ(m.neighbors[1].to_vector(), (V{2, 0, 3}));
  EXPECT_EQ(m.neighbors[2].to_vector(), (V{0, 1, 3}));
  EXPECT_EQ(m.neighbors[3].to_vector(), (V{2, 1}));
  EXPECT_EQ(m.vertex_faces[1].to_vector(), (V{0, 1}));
  EXPECT_EQ(m.vertex_faces[3].to_vector(), (V{1}));
  // Edge 1-2 is opposite corner 0 of face 0 and corner 2 of face 1.
  EXPECT_EQ(m.across_edge[0], Face(1, -1, -1));
  EXPECT_EQ(m.across_edge[1], Face(-1, -1, 0));
}

TEST(Adjacency, FacesRunningTheSameWayAlongAnEdgeAreNotLinked) {
  TriMesh m = two_triangles(Face(1, 2, 3));
  m.need_across_edge();
  EXPECT_EQ(m.across_edge[0], Face(-1, -1, -1));
  EXPECT_EQ(m.across_edge[1], Face(-1, -1, -1));
}

TEST(Adjacency, AcrossEdgeOfAClosedMeshIsAnInvolution) {
  TriMesh m = test_meshes::octahedron();
  m.need_across_edge();
  ASSERT_EQ(m.across_edge.size(), m.faces.size());
  for (int f = 0; f < 8; f++) {
    for (int j = 0; j < 3; j++) {
      const int k = m.across_edge[f][j];
      ASSERT_GE(k, 0) << "face " << f << " edge " << j << " of a closed mesh has no neighbour";
      // k runs along the shared edge backwards, and links back to f there.
      const int32_t va = m.faces[f][(j + 1) % 3], vb = m.faces[f][(j + 2) % 3];
      int back = -1;
      for (int i = 0; i < 3; i++) {
        if (m.faces[k][(i + 1) % 3] == vb && m.faces[k][(i + 2) % 3] == va) back = i;
      }
      ASSERT_GE(back, 0) << "face " << k << " does not hold edge " << vb << "-" << va;
      EXPECT_EQ(m.across_edge[k][back], f) << "face " << f << " edge " << j;
    }
  }
  m.need_neighbors();
  for (int v = 0; v < 6; v++) {
    EXPECT_EQ(m.neighbors[v].size(), 4u);
    EXPECT_FALSE(m.is_boundary(v)) << v;
  }
}

TEST(Adjacency, BoundaryVertices) {
  TriMesh closed_fan = test_meshes::fan(6);
  EXPECT_FALSE(closed_fan.is_boundary(0));
  for (int v = 1; v <= 6; v++) EXPECT_TRUE(closed_fan.is_boundary(v)) << v;

  // Opening the fan (dropping one triangle) puts its centre on the boundary.
  TriMesh open_fan = test_meshes::fan(6);
  open_fan.faces.pop_back();
  EXPECT_TRUE(open_fan.is_boundary(0));

  // Every corner of a quad of two triangles is on its border.
  TriMesh quad = two_triangles(Face(2, 1, 3));
  for (int v = 0; v < 4; v++) EXPECT_TRUE(quad.is_boundary(v)) << v;
  // Indices naming no vertex are not boundary vertices (and do not crash).
  EXPECT_FALSE(quad.is_boundary(-1));
  EXPECT_FALSE(quad.is_boundary(4));
}

TEST(Adjacency, PointSetLeavesTablesEmptyAndPrintsNothing) {
  CapturedText text;
  TriMesh cloud;
  cloud.vertices = {point(0, 0, 0), point(1, 0, 0)};
  cloud.need_neighbors();
  cloud.need_vertex_faces();
  cloud.need_across_edge();
  EXPECT_FALSE(cloud.is_boundary(0));
  EXPECT_TRUE(cloud.neighbors.empty());
  EXPECT_TRUE(cloud.vertex_faces.empty());
  EXPECT_TRUE(cloud.across_edge.empty());
  EXPECT_EQ(text.str(), "");
}

TEST(Adjacency, FacesNamingNoVertexAreLeftOut) {
  TriMesh m = two_triangles(Face(2, 1, 3));
  m.faces.push_back(Face(1, 7, 2));
  m.faces.push_back(Face(-3, 1, 2));
  m.need_neighbors();
  m.need_across_edge();
  EXPECT_EQ(m.neighbors[1].to_vector(), (V{2, 0, 3}));
  EXPECT_EQ(m.vertex_faces[1].to_vector(), (V{0, 1}));
  EXPECT_EQ(m.across_edge[0], Face(1, -1, -1));
  EXPECT_EQ(m.across_edge[2], Face(-1, -1, -1));
  EXPECT_EQ(m.across_edge[3], Face(-1, -1, -1));
}

// The flat tables against the definition's face loop (faces in order, each
// corner's two other corners in cyclic order, appended when new), on a
// grid large enough to be split over threads, with a degenerate face using
// one vertex twice, a vertex shared by two separate fans (non-manifold) and
// a face naming no vertex; with the mesh's own vertex-face table present and
// without it.
TEST(Adjacency, FlatTablesFollowTheFaceLoop) {
  TriMesh base = test_meshes::plane_grid(130, 130);
  const int32_t nv = int32_t(base.vertices.size());
  base.faces.push_back(Face(5, 9, 5));
  base.faces.push_back(Face(0, 700, 9000));
  base.faces.push_back(Face(3, nv, 4));
  std::vector<V> neighbors(static_cast<size_t>(nv)), vertex_faces(static_cast<size_t>(nv));
  for (int32_t i = 0; i < int32_t(base.faces.size()); i++) {
    const Face& f = base.faces[size_t(i)];
    if (f[0] >= nv || f[1] >= nv || f[2] >= nv) continue;
    for (int j = 0; j < 3; j++) {
      vertex_faces[size_t(f[j])].push_back(i);
      for (int32_t w : {f[(j + 1) % 3], f[(j + 2) % 3]}) {
        V& list = neighbors[size_t(f[j])];
        if (std::find(list.begin(), list.end(), w) == list.end()) list.push_back(w);
      }
    }
  }
  for (int threads : {1, 2, 3}) {
    set_thread_count(threads);
    for (bool faces_first : {false, true}) {
      TriMesh m = base;
      if (faces_first) m.need_vertex_faces();
      m.need_neighbors();
      m.need_vertex_faces();
      EXPECT_TRUE(m.neighbors == AdjacencyTable::from_lists(neighbors)) << threads << " threads";
      EXPECT_TRUE(m.vertex_faces == AdjacencyTable::from_lists(vertex_faces)) << threads;
    }
  }
  set_thread_count(0);
}
