#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "mesh/TriMesh.h"
#include "mesh/derived_meshes.h"
#include "mesh/min_sphere.h"

using test_meshes::CapturedText;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
// Relative slack for "inside" and "on the surface" in float32.
const double kRelTol = 1e-5;

TriMesh cloud(const std::vector<point>& pts) {
  TriMesh m;
  m.vertices = pts;
  return m;
}

// Smallest sphere through all of `pts` (2, 3 or 4 points) that has them on
// its surface with its centre in their affine hull; false when degenerate.
bool circumsphere(const std::vector<point>& pts, double c[3], double& r2) {
  const size_t k = pts.size();
  double q[4][3];
  for (size_t i = 0; i < k; i++)
    for (int j = 0; j < 3; j++) q[i][j] = double(pts[i][j]) - double(pts[0][j]);
  // centre = p0 + sum_i l_i q_i with 2 q_i . (sum_j l_j q_j) = |q_i|^2.
  const int n = int(k) - 1;
  double a[3][4];
  for (int i = 0; i < n; i++) {
    for (int j = 0; j < n; j++) {
      double d = 0;
      for (int x = 0; x < 3; x++) d += q[i + 1][x] * q[j + 1][x];
      a[i][j] = 2 * d;
    }
    double d = 0;
    for (int x = 0; x < 3; x++) d += q[i + 1][x] * q[i + 1][x];
    a[i][n] = d;
  }
  for (int col = 0; col < n; col++) {  // Gaussian elimination, partial pivoting
    int piv = col;
    for (int r = col + 1; r < n; r++)
      if (std::fabs(a[r][col]) > std::fabs(a[piv][col])) piv = r;
    if (std::fabs(a[piv][col]) < 1e-12) return false;
    for (int x = 0; x <= n; x++) std::swap(a[col][x], a[piv][x]);
    for (int r = 0; r < n; r++) {
      if (r == col) continue;
      double f = a[r][col] / a[col][col];
      for (int x = 0; x <= n; x++) a[r][x] -= f * a[col][x];
    }
  }
  for (int x = 0; x < 3; x++) c[x] = pts[0][x];
  for (int i = 0; i < n; i++)
    for (int x = 0; x < 3; x++) c[x] += a[i][n] / a[i][i] * q[i + 1][x];
  r2 = 0;
  for (int x = 0; x < 3; x++) r2 += (c[x] - pts[0][x]) * (c[x] - pts[0][x]);
  return true;
}

double dist2_to(const double c[3], const point& p) {
  double d = 0;
  for (int x = 0; x < 3; x++) d += (p[x] - c[x]) * (p[x] - c[x]);
  return d;
}

// Brute-force radius of the smallest enclosing sphere: the smallest of the
// spheres through 2, 3 or 4 of the points that encloses them all.
double brute_force_radius(const std::vector<point>& pts) {
  const size_t n = pts.size();
  double best = std::numeric_limits<double>::infinity();
  auto consider = [&](const std::vector<point>& support) {
    double c[3], r2;
    if (!circumsphere(support, c, r2)) return;
    for (const point& p : pts)
      if (dist2_to(c, p) > r2 * (1 + 1e-9) + 1e-12) return;
    best = std::min(best, std::sqrt(r2));
  };
  for (size_t a = 0; a < n; a++)
    for (size_t b = a + 1; b < n; b++) {
      consider({pts[a], pts[b]});
      for (size_t c = b + 1; c < n; c++) {
        consider({pts[a], pts[b], pts[c]});
        for (size_t d = c + 1; d < n; d++) consider({pts[a], pts[b], pts[c], pts[d]});
      }
    }
  return best;
}

// Every point inside, and at least two on the surface (one if all coincide).
void expect_tight_enclosure(const std::vector<point>& pts, const BoundingSphere& s,
                            const std::string& what) {
  ASSERT_TRUE(s.valid) << what;
  double c[3] = {s.center.x, s.center.y, s.center.z};
  double r = s.radius, slack = kRelTol * std::max(1.0, r);
  int on_surface = 0;
  for (const point& p : pts) {
    double d = std::sqrt(dist2_to(c, p));
    EXPECT_LE(d, r + slack) << what;
    if (d >= r - slack) on_surface++;
  }
  EXPECT_GE(on_surface, r > 0 ? 2 : 1) << what;
}

}  // namespace

// A NaN first vertex would otherwise pin min and max to NaN for good.
TEST(BoundingBox, NonFiniteVerticesAreLeftOut) {
  TriMesh m = cloud({point(kNaN, 0, 0), point(1, 1, 1), point(0, kNaN, 9), point(3, -1, 2)});
  m.need_bounding_box();
  EXPECT_TRUE(m.bounding_box.valid);
  EXPECT_EQ(m.bounding_box.min, point(1, -1, 1));
  EXPECT_EQ(m.bounding_box.max, point(3, 1, 2));

  TriMesh none = cloud({point(kNaN, 0, 0)});
  TriMesh empty;
  CapturedText capture;
  none.need_bounding_box();
  empty.need_bounding_box();
  none.need_bounding_sphere();
  empty.need_bounding_sphere();
  EXPECT_FALSE(none.bounding_box.valid);
  EXPECT_FALSE(empty.bounding_box.valid);
  EXPECT_FALSE(none.bounding_sphere.valid);
  EXPECT_FALSE(empty.bounding_sphere.valid);
  EXPECT_EQ(capture.str(), "");
}

TEST(BoundingSphere, SmallExactCases) {
  TriMesh one = cloud({point(3, -2, 7)});
  one.need_bounding_sphere();
  EXPECT_TRUE(one.bounding_sphere.valid);
  EXPECT_EQ(one.bounding_sphere.center, point(3, -2, 7));
  EXPECT_EQ(one.bounding_sphere.radius, 0.0f);

  TriMesh two = cloud({point(0, 0, 0), point(2, 0, 0)});
  two.need_bounding_sphere();
  EXPECT_EQ(two.bounding_sphere.center, point(1, 0, 0));
  EXPECT_EQ(two.bounding_sphere.radius, 1.0f);

}

TEST(BoundingSphere, RandomCloudsMatchBruteForce) {
  std::mt19937 rng(5);
  std::normal_distribution<float> gauss(0.0f, 1.0f);
  for (int trial = 0; trial < 30; trial++) {
    std::vector<point> pts;
    const int n = 3 + trial % 12;
    for (int i = 0; i < n; i++) {
      point p(gauss(rng), gauss(rng), gauss(rng));
      if (trial % 3 == 1) p.z = 0.0f;                    // coplanar
      if (trial % 5 == 2) p = point(p.x, 2 * p.x, -p.x);  // collinear
      pts.push_back(p);
    }
    TriMesh m = cloud(pts);
    m.need_bounding_sphere();
    std::string what = "trial " + std::to_string(trial);
    expect_tight_enclosure(pts, m.bounding_sphere, what);
    EXPECT_NEAR(m.bounding_sphere.radius, brute_force_radius(pts), 1e-4) << what;
  }
}

TEST(BoundingSphere, LargeCloudEnclosesEverything) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<point> pts;
  for (int i = 0; i < 20000; i++) pts.push_back(point(u(rng), 3 * u(rng), 0.5f * u(rng)));
  TriMesh m = cloud(pts);
  m.need_bounding_sphere();
  expect_tight_enclosure(pts, m.bounding_sphere, "20000 points");
}

TEST(BoundingSphere, DuplicatesAndNonFiniteVertices) {
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<point> same(50, point(1, 2, 3));
  TriMesh dup = cloud(same);
  dup.need_bounding_sphere();
  EXPECT_EQ(dup.bounding_sphere.center, point(1, 2, 3));
  EXPECT_EQ(dup.bounding_sphere.radius, 0.0f);

  // NaN and infinite vertices are left out; the finite ones decide.
  std::vector<point> mixed = {point(kNaN, kNaN, kNaN), point(0, 0, 0), point(inf, 0, 0),
                              point(4, 0, 0), point(2, kNaN, 1), point(2, 0, 0), point(2, 0, 0)};
  TriMesh m = cloud(mixed);
  m.need_bounding_sphere();
  EXPECT_TRUE(m.bounding_sphere.valid);
  EXPECT_EQ(m.bounding_sphere.center, point(2, 0, 0));
  EXPECT_EQ(m.bounding_sphere.radius, 2.0f);

  point c;
  float r = -5.0f;
  EXPECT_FALSE(smallest_enclosing_sphere({point(kNaN, 0, 0), point(inf, 1, 1)}, c, r));
  EXPECT_EQ(r, -5.0f);
}

// Cospherical points are the hard case for float move-to-front (many
// near-ties); overflowing squares turn excesses into inf or NaN. Both must
// end, and the first must still enclose.
TEST(BoundingSphere, CosphericalAndOverflowingInputsTerminate) {
  TriMesh sphere = test_meshes::icosphere(4, 3.0f);
  sphere.faces.clear();
  sphere.need_bounding_sphere();
  expect_tight_enclosure(sphere.vertices, sphere.bounding_sphere, "cospherical");
  EXPECT_NEAR(sphere.bounding_sphere.radius, 3.0f, 1e-4f);

  TriMesh huge = cloud({point(1e30f, 0, 0), point(-1e30f, 1e30f, 0), point(0, 0, 3e38f),
                        point(1e-30f, 0, 0), point(0, -3e38f, 1)});
  huge.need_bounding_sphere();
  EXPECT_TRUE(huge.bounding_sphere.valid);
}

// Each need_ call builds its data once, printing its message: a later call,
// even after a vertex moved, prints nothing and keeps the first result.
TEST(DerivedData, EachIsBuiltOnceWithItsMessage) {
  auto derived = [](const TriMesh& m) {
    return std::make_tuple(m.bounding_box.max, m.bounding_sphere.radius, m.normals, m.point_areas,
                           m.principal_curv1, m.neighbors, m.vertex_faces, m.across_edge);
  };
  const struct {
    void (*need)(TriMesh&);
    const char* message;
  } cases[] = {
      {[](TriMesh& m) { m.need_bounding_box(); },
       "Computing bounding box... Done.\n  x = -1 .. 1, y = -1 .. 1, z = -1 .. 1\n"},
      {[](TriMesh& m) { m.need_bounding_sphere(); },
       "Computing bounding sphere... Done.\n  center = (0, 0, 0), radius = 1\n"},
      {[](TriMesh& m) { m.need_normals(); }, "Computing normals... Done.\n"},
      {[](TriMesh& m) { m.need_point_areas(); }, "Computing point areas... Done.\n"},
      {[](TriMesh& m) { m.need_curvatures(); },
       "Computing normals... Done.\nComputing point areas... Done.\nComputing curvatures... Done.\n"},
      {[](TriMesh& m) { m.need_neighbors(); }, "Finding vertex neighbors... Done.\n"},
      {[](TriMesh& m) { m.need_vertex_faces(); }, "Finding vertex to triangle maps... Done.\n"},
      // The across-edge maps build the vertex-to-face maps on the way.
      {[](TriMesh& m) { m.need_across_edge(); },
       "Finding vertex to triangle maps... Done.\nFinding across-edge maps... Done.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TriMesh m = test_meshes::octahedron();
    {
      CapturedText text;
      c.need(m);
      EXPECT_EQ(text.all(), c.message);
    }
    const auto first = derived(m);
    m.vertices[0] = point(9, 5, 3);
    CapturedText text;
    c.need(m);
    EXPECT_EQ(text.all(), "");
    EXPECT_TRUE(derived(m) == first);
  }
}
