#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "mesh/TriMesh.h"
#include "mesh/derived_meshes.h"

using test_meshes::ProgressCapture;

namespace {

const float kTol = 1e-5f;

void expect_near_point(const point& a, const point& b, float tol, const std::string& what) {
  EXPECT_NEAR(a.x, b.x, tol) << what;
  EXPECT_NEAR(a.y, b.y, tol) << what;
  EXPECT_NEAR(a.z, b.z, tol) << what;
}

bool finite_unit(const point& n) {
  return std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z) &&
         std::fabs(len(n) - 1.0f) < kTol;
}

}  // namespace

TEST(Normals, PlaneAndSphereFaces) {
  TriMesh plane = test_meshes::plane_grid(6, 5, 2.0f);
  plane.need_normals();
  for (const point& n : plane.normals) expect_near_point(n, point(0, 0, 1), kTol, "plane");

  // Counter-clockwise faces seen from outside give outward normals, close to
  // the radial direction on a fine tessellation.
  TriMesh sphere = test_meshes::icosphere(3, 2.0f);
  sphere.need_normals();
  for (size_t i = 0; i < sphere.vertices.size(); i++) {
    point radial = sphere.vertices[i];
    normalize(radial);
    EXPECT_GT(dot(sphere.normals[i], radial), 0.999f) << "vertex " << i;
  }
}

TEST(Normals, StripsMatchTheirUnpackedFaces) {
  // Two strips: a zig-zag of four triangles, and one with a repeated index
  // (zero-area joint triangles, as strip joins produce).
  std::vector<point> verts = {point(0, 0, 0), point(0, 1, 0.2f), point(1, 0, 0.1f),
                              point(1, 1, 0),  point(2, 0, 0.3f), point(2, 1, 0.1f),
                              point(3, 0, 0),  point(3, 1, 0.4f)};
  TriMesh strips;
  strips.vertices = verts;
  strips.tristrips = {6, 0, 1, 2, 3, 4, 5, 5, 4, 5, 5, 6, 7};
  TriMesh faces;
  faces.vertices = verts;
  // Triangle k of a strip is (s[k], s[k+1], s[k+2]), every odd one reversed;
  // the two triangles with a repeated index are degenerate and drop out.
  faces.faces = {Face(0, 1, 2), Face(2, 1, 3), Face(2, 3, 4), Face(4, 3, 5), Face(5, 6, 7)};
  strips.need_normals();
  faces.need_normals();
  EXPECT_TRUE(strips.faces.empty()) << "strips must not be unpacked";
  for (size_t i = 0; i < verts.size(); i++)
    expect_near_point(strips.normals[i], faces.normals[i], kTol, "vertex " + std::to_string(i));
}

// A stream left in the -1-terminated form, or with a length running past its
// end, must not index outside the vertex array.
TEST(Normals, MalformedStripStreamStaysInBounds) {
  TriMesh m;
  m.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), point(1, 1, 0)};
  m.tristrips = {0, 1, 2, 3, -1, 2, 3, 1, 0, -1};
  m.need_normals();
  ASSERT_EQ(m.normals.size(), 4u);
  for (const point& n : m.normals) EXPECT_TRUE(finite_unit(n));
  m.normals.clear();
  m.tristrips = {3, 0, 1, 2, 9, 1, 2, 3};
  m.need_normals();
  for (const point& n : m.normals) EXPECT_TRUE(finite_unit(n));
  // The cut strip still yields its first triangle (1, 2, 3), clockwise from +z.
  EXPECT_NEAR(m.normals[0].z, 1.0f, kTol);
  EXPECT_NEAR(m.normals[3].z, -1.0f, kTol);
}

// Bad faces must not reach the neighbours' sums: a zero-length edge or a NaN
// corner would otherwise turn every normal it touches into NaN.
TEST(Normals, DegenerateAndNonFiniteFacesAreSkipped) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  TriMesh m = test_meshes::plane_grid(3, 3);
  const int n_plane = int(m.vertices.size());
  m.vertices.push_back(m.vertices[4]);       // duplicate of the centre
  m.vertices.push_back(point(nan, 0, 0));    // NaN vertex
  m.vertices.push_back(point(7, 7, 7));      // isolated vertex
  m.faces.push_back(Face(4, n_plane, 5));    // zero-length edge 4 -> duplicate
  m.faces.push_back(Face(4, 4, 5));          // repeated index
  m.faces.push_back(Face(4, 5, n_plane + 1));  // NaN corner
  m.need_normals();
  ASSERT_EQ(m.normals.size(), m.vertices.size());
  for (int i = 0; i < n_plane; i++)
    expect_near_point(m.normals[i], point(0, 0, 1), kTol, "plane vertex " + std::to_string(i));
  // Vertices touched only by skipped faces, or by none, get (1, 0, 0).
  for (int i = n_plane; i < n_plane + 3; i++)
    EXPECT_EQ(m.normals[i], point(1, 0, 0)) << "vertex " << i;
}

// Point sets: normals from the nearest neighbours, oriented towards +z.
TEST(Normals, PointCloudPlanesAndSphere) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> coord(-1.0f, 1.0f);
  TriMesh horizontal, vertical;
  for (int i = 0; i < 200; i++) {
    float a = coord(rng), b = coord(rng);
    horizontal.vertices.push_back(point(a, b, 5.0f));
    vertical.vertices.push_back(point(0.0f, a, b));
  }
  horizontal.need_normals();
  vertical.need_normals();
  for (size_t i = 0; i < 200; i++) {
    expect_near_point(horizontal.normals[i], point(0, 0, 1), 1e-4f, "z = 5 plane");
    // The x = 0 plane's sign is not determined.
    EXPECT_NEAR(std::fabs(vertical.normals[i].x), 1.0f, 1e-4f) << "x = 0 plane, vertex " << i;
  }
  TriMesh sphere = test_meshes::icosphere(3, 1.0f);
  sphere.faces.clear();
  sphere.need_normals();
  for (size_t i = 0; i < sphere.vertices.size(); i++) {
    EXPECT_GT(std::fabs(dot(sphere.normals[i], sphere.vertices[i])), 0.99f) << "vertex " << i;
    EXPECT_GE(sphere.normals[i].z, 0.0f) << "vertex " << i;
  }
}

TEST(Normals, TinyAndDegeneratePointClouds) {
  TriMesh two;
  two.vertices = {point(0, 0, 0), point(1, 0, 0)};
  {
    ProgressCapture capture;
    two.need_normals();
    EXPECT_EQ(capture.str(),
              "Computing normals... Warning: not enough points for vertex 0\n"
              "Warning: not enough points for vertex 1\nDone.\n");
  }
  EXPECT_EQ(two.normals[0], point(0, 0, 1));
  EXPECT_EQ(two.normals[1], point(0, 0, 1));

  // Coincident points and a NaN point: every normal is still a unit vector.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  TriMesh odd;
  for (int i = 0; i < 10; i++) odd.vertices.push_back(point(1, 2, 3));
  odd.vertices.push_back(point(nan, nan, nan));
  odd.vertices.push_back(point(0, 0, 0));
  odd.need_normals();
  ASSERT_EQ(odd.normals.size(), odd.vertices.size());
  for (const point& n : odd.normals) EXPECT_TRUE(finite_unit(n));
}
