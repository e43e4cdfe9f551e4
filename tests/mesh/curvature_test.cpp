#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "mesh/TriMesh.h"
#include "mesh/curvature_fits.h"
#include "mesh/curvature_frames.h"
#include "mesh/derived_meshes.h"

using test_meshes::ProgressCapture;

namespace {

bool finite(float x) { return std::isfinite(x); }
bool finite(const point& p) { return finite(p.x) && finite(p.y) && finite(p.z); }

// (dir1, dir2, normal) must be a right-handed orthonormal frame.
void expect_frame(const TriMesh& m, size_t i) {
  const point& d1 = m.principal_dir1[i];
  const point& d2 = m.principal_dir2[i];
  EXPECT_NEAR(len(d1), 1.0f, 1e-4f) << "vertex " << i;
  EXPECT_NEAR(len(d2), 1.0f, 1e-4f) << "vertex " << i;
  EXPECT_NEAR(dot(d1, d2), 0.0f, 1e-4f) << "vertex " << i;
  EXPECT_NEAR(dot(cross(d1, d2), m.normals[i]), 1.0f, 1e-4f) << "vertex " << i;
}

}  // namespace

TEST(PointAreas, RightAndEquilateralTriangles) {
  TriMesh right;
  right.vertices = {point(0, 0, 0), point(2, 0, 0), point(0, 2, 0)};
  right.faces = {Face(0, 1, 2)};
  right.need_point_areas();
  // Area 2: the right angle (corner 0) takes half, the acute corners a quarter.
  EXPECT_NEAR(right.corner_areas[0][0], 1.0f, 1e-6f);
  EXPECT_NEAR(right.corner_areas[0][1], 0.5f, 1e-6f);
  EXPECT_NEAR(right.corner_areas[0][2], 0.5f, 1e-6f);
  EXPECT_NEAR(right.point_areas[0], 1.0f, 1e-6f);

  TriMesh eq;
  eq.vertices = {point(0, 0, 0), point(1, 0, 0), point(0.5f, std::sqrt(3.0f) / 2, 0)};
  eq.faces = {Face(0, 1, 2)};
  eq.need_point_areas();
  const float third = std::sqrt(3.0f) / 4 / 3;
  for (int j = 0; j < 3; j++) EXPECT_NEAR(eq.corner_areas[0][j], third, 1e-6f);
}

// The corner areas partition the surface: they sum to the total area.
TEST(PointAreas, SumToSurfaceArea) {
  TriMesh sphere = test_meshes::icosphere(3, 1.5f);
  sphere.need_point_areas();
  double total = 0, faces_total = 0;
  for (float a : sphere.point_areas) total += a;
  for (size_t f = 0; f < sphere.faces.size(); f++) faces_total += len(sphere.trinorm(int(f)));
  EXPECT_NEAR(total, faces_total, 1e-4 * faces_total);
}

// Areas computed before the faces existed must not be reused for them: the
// curvature passes read a corner triple per face.
TEST(PointAreas, StaleCornerTableIsRebuilt) {
  TriMesh m = test_meshes::plane_grid(4, 4);
  std::vector<Face> faces;
  faces.swap(m.faces);
  m.need_point_areas();  // no faces yet: all zero
  m.faces = faces;
  m.need_curvatures();
  ASSERT_EQ(m.corner_areas.size(), m.faces.size());
  EXPECT_NEAR(m.point_areas[5], 1.0f, 1e-6f);  // interior vertex of a unit grid
}

TEST(Curvature, FlatGridIsZero) {
  TriMesh m = test_meshes::plane_grid(8, 7);
  ProgressCapture capture;
  m.need_dcurv();
  EXPECT_EQ(capture.str(),
            "Computing normals... Done.\nComputing point areas... Done.\n"
            "Computing curvatures... Done.\nComputing dcurv... Done.\n");
  for (size_t i = 0; i < m.vertices.size(); i++) {
    EXPECT_NEAR(m.principal_curv1[i], 0.0f, 1e-6f) << "vertex " << i;
    EXPECT_NEAR(m.principal_curv2[i], 0.0f, 1e-6f) << "vertex " << i;
    for (int k = 0; k < 4; k++) EXPECT_NEAR(m.dcurv[i][k], 0.0f, 1e-6f) << "vertex " << i;
    expect_frame(m, i);
  }
}

// Outward normals on a sphere of radius r change by edge / r along an edge,
// so both curvatures are +1/r and the derivative vanishes.
TEST(Curvature, SphereIsOneOverRadius) {
  const float r = 2.5f;
  TriMesh m = test_meshes::icosphere(4, r);
  m.need_dcurv();
  for (size_t i = 0; i < m.vertices.size(); i++) {
    EXPECT_NEAR(m.principal_curv1[i], 1.0f / r, 0.01f / r) << "vertex " << i;
    EXPECT_NEAR(m.principal_curv2[i], 1.0f / r, 0.01f / r) << "vertex " << i;
    EXPECT_GE(std::fabs(m.principal_curv1[i]), std::fabs(m.principal_curv2[i]));
    for (int k = 0; k < 4; k++) EXPECT_NEAR(m.dcurv[i][k], 0.0f, 0.05f / (r * r)) << "vertex " << i;
    expect_frame(m, i);
  }
}

// A cylinder bends only around its axis: k1 = 1/r along the circle, k2 = 0
// along the axis. Boundary rings are left out (one-sided fits).
TEST(Curvature, CylinderBendsAroundItsAxis) {
  const float r = 1.5f;
  const int around = 64, rings = 12;
  TriMesh m = test_meshes::cylinder(around, rings, r, 0.15f);
  m.need_dcurv();
  for (int i = 2 * around; i < (rings - 2) * around; i++) {
    EXPECT_NEAR(m.principal_curv1[i], 1.0f / r, 0.02f / r) << "vertex " << i;
    EXPECT_NEAR(m.principal_curv2[i], 0.0f, 0.02f / r) << "vertex " << i;
    EXPECT_LT(std::fabs(m.principal_dir1[i].z), 0.02f) << "vertex " << i;
    EXPECT_GT(std::fabs(m.principal_dir2[i].z), 0.99f) << "vertex " << i;
    for (int k = 0; k < 4; k++) EXPECT_NEAR(m.dcurv[i][k], 0.0f, 0.05f / (r * r)) << "vertex " << i;
    expect_frame(m, i);
  }
}

// Isolated vertices, duplicate points, degenerate faces and a NaN vertex:
// no crash, and every vertex that is itself finite ends with finite values.
TEST(Curvature, BadInputStaysFinite) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  TriMesh m = test_meshes::icosphere(2, 1.0f);
  const int n = int(m.vertices.size());
  m.vertices.push_back(point(5, 5, 5));       // n: isolated
  m.vertices.push_back(m.vertices[0]);        // n + 1: duplicate of vertex 0
  m.vertices.push_back(point(nan, 0, 0));     // n + 2: NaN
  m.vertices.push_back(0.5f * (m.vertices[1] + m.vertices[2]));  // n + 3: on edge 1-2
  m.faces.push_back(Face(0, n + 1, 1));       // zero-length edge
  m.faces.push_back(Face(0, 0, 1));           // repeated index
  m.faces.push_back(Face(1, n + 3, 2));       // collinear, zero area
  m.faces.push_back(Face(3, 4, n + 2));       // NaN corner
  m.need_dcurv();
  for (int i = 0; i < n + 4; i++) {
    if (i == n + 2) continue;
    EXPECT_TRUE(finite(m.principal_curv1[i]) && finite(m.principal_curv2[i])) << "vertex " << i;
    EXPECT_TRUE(finite(m.principal_dir1[i]) && finite(m.principal_dir2[i])) << "vertex " << i;
    for (int k = 0; k < 4; k++) EXPECT_TRUE(finite(m.dcurv[i][k])) << "vertex " << i;
    EXPECT_TRUE(finite(m.point_areas[i])) << "vertex " << i;
  }
  for (int i = 0; i < n; i++)
    EXPECT_NEAR(m.principal_curv1[i], 1.0f, 0.2f) << "sphere vertex " << i;
  EXPECT_EQ(m.principal_curv1[n], 0.0f);
  EXPECT_EQ(m.point_areas[n], 0.0f);

  TriMesh cloud;  // no faces at all
  cloud.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), point(1, 1, 0.1f)};
  cloud.need_dcurv();
  for (size_t i = 0; i < cloud.vertices.size(); i++) EXPECT_EQ(cloud.principal_curv1[i], 0.0f);
}

// A mesh stored as strips gets its faces unpacked for the curvature passes,
// and ends where the same surface given as faces ends.
TEST(Curvature, StripMeshMatchesFaceMesh) {
  TriMesh faces = test_meshes::icosphere(3, 2.0f);
  TriMesh strips = faces;
  strips.need_tristrips();
  ASSERT_FALSE(strips.tristrips.empty());
  strips.faces.clear();
  faces.need_dcurv();
  strips.need_dcurv();
  ASSERT_EQ(strips.principal_curv1.size(), faces.vertices.size());
  for (size_t i = 0; i < faces.vertices.size(); i++) {
    EXPECT_NEAR(dot(strips.normals[i], faces.normals[i]), 1.0f, 1e-5f) << "vertex " << i;
    EXPECT_NEAR(strips.principal_curv1[i], faces.principal_curv1[i], 1e-4f) << "vertex " << i;
    EXPECT_NEAR(strips.principal_curv2[i], faces.principal_curv2[i], 1e-4f) << "vertex " << i;
  }
}

// z = 0.25 (x^2 + 2 y^2) + 0.8 x^3 / 6 - 0.6 y^3 / 6 on a fine grid: at the
// origin the curvature tensor is minus the height's second derivatives
// (normals point up), so k1 = -1 along y and k2 = -0.5 along x, and the
// derivative tensor is minus the third derivatives (z_xxx = 0.8,
// z_yyy = -0.6) taken along the vertex's own frame.
TEST(Curvature, CubicPatchMatchesItsDerivatives) {
  const int n = 81, centre = n / 2;
  const float step = 0.005f;
  TriMesh m = test_meshes::plane_grid(n, n);
  for (point& p : m.vertices) {
    float x = (p.x - centre) * step, y = (p.y - centre) * step;
    p = point(x, y, 0.25f * (x * x + 2 * y * y) + 0.8f * x * x * x / 6 - 0.6f * y * y * y / 6);
  }
  m.need_dcurv();
  const int origin = centre * n + centre;
  EXPECT_NEAR(m.principal_curv1[origin], -1.0f, 0.01f);
  EXPECT_NEAR(m.principal_curv2[origin], -0.5f, 0.01f);
  const point e1 = m.principal_dir1[origin], e2 = m.principal_dir2[origin];
  EXPECT_GT(std::fabs(e1.y), 0.99f);
  // Third derivatives of the height along directions u, v, w of the plane.
  auto third = [](const point& u, const point& v, const point& w) {
    return 0.8f * u.x * v.x * w.x - 0.6f * u.y * v.y * w.y;
  };
  const float expected[4] = {-third(e1, e1, e1), -third(e1, e1, e2), -third(e1, e2, e2),
                             -third(e2, e2, e2)};
  for (int k = 0; k < 4; k++) EXPECT_NEAR(m.dcurv[origin][k], expected[k], 0.05f) << "entry " << k;
}

// Removing faces drops the areas but keeps the curvatures; the derivatives
// must rebuild the areas they read.
TEST(Curvature, DerivativesAfterRemovedFaces) {
  TriMesh m = test_meshes::icosphere(2, 1.0f);
  m.need_curvatures();
  std::vector<bool> drop(m.faces.size(), false);
  drop[0] = drop[7] = true;
  m.remove_faces(drop);
  m.need_dcurv();
  ASSERT_EQ(m.dcurv.size(), m.vertices.size());
  ASSERT_EQ(m.corner_areas.size(), m.faces.size());
  for (size_t i = 0; i < m.vertices.size(); i++)
    for (int k = 0; k < 4; k++) EXPECT_TRUE(finite(m.dcurv[i][k])) << "vertex " << i;
}

// Four faces fitted in vector lanes give, lane by lane, the bits of the
// same faces fitted one at a time, and refuse the same faces: ordinary
// faces, a corner frame meeting the face frame head on (the flipped
// rotation), a degenerate face (zero-length edge) and a NaN corner.
TEST(CurvatureFits, LanesGiveTheSingleFaceBits) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<float> r(-1.0f, 1.0f);
  auto unit = [&] { return normalized(point{r(gen), r(gen), r(gen)}); };
  struct FaceData {
    point p[3], n[3], pd1[3], pd2[3];
    float k1[3], k2[3];
  };
  std::vector<FaceData> faces(12);
  for (FaceData& f : faces) {
    for (int j = 0; j < 3; j++) {
      f.p[j] = {r(gen), r(gen), 0.1f * r(gen)};
      f.n[j] = unit();
      f.pd1[j] = unit();
      f.pd2[j] = normalized(cross(f.n[j], f.pd1[j]));
      f.k1[j] = 3.0f * r(gen);
      f.k2[j] = r(gen);
    }
  }
  // Face frame t = x, b = y exactly; corner 0's frame has normal -z.
  faces[1].p[0] = {0, 1, 0}, faces[1].p[1] = {0, 0, 0}, faces[1].p[2] = {1, 0, 0};
  faces[1].pd1[0] = {1, 0, 0}, faces[1].pd2[0] = {0, -1, 0};
  faces[6].p[2] = faces[6].p[1];
  faces[9].p[1].y = std::numeric_limits<float>::quiet_NaN();

  auto bits = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (size_t g = 0; g < faces.size(); g += 4) {
    auto lanes = [&](auto get) {
      return float4_of(get(faces[g]), get(faces[g + 1]), get(faces[g + 2]), get(faces[g + 3]));
    };
    auto vec = [&](auto get) {
      return Vec3<Float4>{lanes([&](const FaceData& f) { return get(f).x; }),
                          lanes([&](const FaceData& f) { return get(f).y; }),
                          lanes([&](const FaceData& f) { return get(f).z; })};
    };
    Vec3<Float4> p[3], n[3], pd1[3], pd2[3];
    Float4 k1[3], k2[3];
    for (int j = 0; j < 3; j++) {
      p[j] = vec([j](const FaceData& f) { return f.p[j]; });
      n[j] = vec([j](const FaceData& f) { return f.n[j]; });
      pd1[j] = vec([j](const FaceData& f) { return f.pd1[j]; });
      pd2[j] = vec([j](const FaceData& f) { return f.pd2[j]; });
      k1[j] = lanes([j](const FaceData& f) { return f.k1[j]; });
      k2[j] = lanes([j](const FaceData& f) { return f.k2[j]; });
    }
    Float4 form4[3][3], deriv4[3][4];
    const int form_ok = lanes_of(curvature_fits::curvature_fit(p, n, pd1, pd2, form4));
    const int deriv_ok = lanes_of(curvature_fits::dcurv_fit(p, pd1, pd2, k1, k2, deriv4));
    for (int l = 0; l < 4; l++) {
      const size_t face = g + size_t(l);
      const FaceData& f = faces[face];
      float form[3][3], deriv[3][4], lane[4];
      const bool form_one = curvature_fits::curvature_fit(f.p, f.n, f.pd1, f.pd2, form);
      const bool deriv_one = curvature_fits::dcurv_fit(f.p, f.pd1, f.pd2, f.k1, f.k2, deriv);
      ASSERT_EQ(form_one, bool(form_ok >> l & 1)) << "face " << face;
      ASSERT_EQ(deriv_one, bool(deriv_ok >> l & 1)) << "face " << face;
      if (face == 9) {
        EXPECT_FALSE(form_one || deriv_one);
      }
      for (int j = 0; j < 3; j++) {
        for (int k = 0; k < 3 && form_one; k++) {
          store(form4[j][k], lane);
          EXPECT_TRUE(bits(lane[l], form[j][k])) << "face " << face << " corner " << j;
        }
        for (int k = 0; k < 4 && deriv_one; k++) {
          store(deriv4[j][k], lane);
          EXPECT_TRUE(bits(lane[l], deriv[j][k])) << "face " << face << " corner " << j;
        }
      }
    }
  }
}

// Opposite normals reverse the old frame (both axes flip): a tensor re-read in
// the swapped frame (v, u), whose normal is -(u x v), comes out with its
// components in reverse order, and the cubic derivative tensor also changes
// sign. Flipping only one axis would negate kuv; flipping neither would keep
// the derivative's sign.
TEST(CurvatureFrames, OppositeNormalsReverseTheOldFrame) {
  const point u{1.0f, 0.0f, 0.0f}, v{0.0f, 1.0f, 0.0f};
  float form[3];
  curvature_frames::project_curvature(u, v, 2.0f, 0.5f, -1.0f, v, u, form[0], form[1], form[2]);
  EXPECT_EQ(std::vector<float>(form, form + 3), (std::vector<float>{-1.0f, 0.5f, 2.0f}));
  const float dcurv[4] = {1.0f, 2.0f, 3.0f, 4.0f};
  float out[4];
  curvature_frames::project_curvature_derivative(u, v, dcurv, v, u, out);
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{-4.0f, -3.0f, -2.0f, -1.0f}));
}
