#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/parallel.h"
#include "mesh/TriMesh.h"
#include "mesh/derived_meshes.h"

namespace {

template <typename T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// A wavy grid above the size at which the face walks split over 3 threads,
// with its vertices shuffled so that most faces straddle the threads' vertex
// ranges, plus the faces where summation order shows most: a third face on
// one edge, a face with a repeated corner and one with coincident corners.
TriMesh shuffled_wavy_grid() {
  const int n = 230;
  TriMesh grid = test_meshes::plane_grid(n, n);
  for (point& p : grid.vertices) p.z = 0.3f * std::sin(0.2f * p.x) * std::cos(0.13f * p.y);
  std::vector<int32_t> to(grid.vertices.size());
  std::iota(to.begin(), to.end(), 0);
  std::shuffle(to.begin(), to.end(), std::mt19937(5));
  TriMesh m;
  m.vertices.resize(grid.vertices.size());
  for (size_t i = 0; i < to.size(); i++) m.vertices[size_t(to[i])] = grid.vertices[i];
  for (const Face& f : grid.faces) m.faces.push_back(Face(to[size_t(f[0])], to[size_t(f[1])], to[size_t(f[2])]));
  const Face first = m.faces[0];
  m.vertices.push_back(m.vertices[size_t(first[1])] + point(0.1f, 0.2f, 0.7f));
  m.faces.push_back(Face(first[1], first[0], int32_t(m.vertices.size() - 1)));
  m.faces.push_back(Face(first[0], first[0], first[2]));
  m.vertices.push_back(m.vertices[size_t(first[2])]);
  m.faces.push_back(Face(first[2], int32_t(m.vertices.size() - 1), first[1]));
  return m;
}

void derive(TriMesh& m) {
  m.need_normals();
  m.need_tristrips();
  m.need_curvatures();
  m.need_dcurv();
  m.need_neighbors();
}

}  // namespace

// Each per-vertex sum receives its face terms in face order however the
// vertices are split between threads, so every derived array is identical
// bit for bit on 1, 2 and 3 threads (3 leaves ranges of unequal length).
TEST(ParallelDerived, SameBitsOnAnyThreadCount) {
  const TriMesh base = shuffled_wavy_grid();
  set_thread_count(1);
  TriMesh one = base;
  derive(one);
  TriMesh from_strips;  // normals summed along the strip stream instead of the faces
  from_strips.vertices = base.vertices;
  from_strips.tristrips = one.tristrips;
  from_strips.need_normals();

  for (int threads : {2, 3}) {
    set_thread_count(threads);
    TriMesh m = base;
    derive(m);
    TriMesh s;
    s.vertices = base.vertices;
    s.tristrips = one.tristrips;
    s.need_normals();
    EXPECT_TRUE(same_bits(m.normals, one.normals)) << threads << " threads";
    EXPECT_TRUE(same_bits(s.normals, from_strips.normals)) << threads << " threads";
    EXPECT_TRUE(same_bits(m.across_edge, one.across_edge)) << threads << " threads";
    EXPECT_TRUE(same_bits(m.tristrips, one.tristrips)) << threads << " threads";
    EXPECT_TRUE(same_bits(m.corner_areas, one.corner_areas)) << threads << " threads";
    EXPECT_TRUE(same_bits(m.point_areas, one.point_areas)) << threads << " threads";
    EXPECT_TRUE(same_bits(m.principal_dir1, one.principal_dir1)) << threads << " threads";
    EXPECT_TRUE(same_bits(m.principal_dir2, one.principal_dir2)) << threads << " threads";
    EXPECT_TRUE(same_bits(m.principal_curv1, one.principal_curv1)) << threads << " threads";
    EXPECT_TRUE(same_bits(m.principal_curv2, one.principal_curv2)) << threads << " threads";
    EXPECT_TRUE(same_bits(m.dcurv, one.dcurv)) << threads << " threads";
    EXPECT_TRUE(m.neighbors == one.neighbors) << threads << " threads";
    EXPECT_TRUE(m.vertex_faces == one.vertex_faces) << threads << " threads";
  }
  set_thread_count(0);
}
