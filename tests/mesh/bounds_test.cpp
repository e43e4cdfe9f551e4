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

// Double-precision vectors for the oracle.
struct D3 {
  double x, y, z;
};
D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 operator*(double s, D3 a) { return {s * a.x, s * a.y, s * a.z}; }
double dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 cross(D3 a, D3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
D3 d3(const point& p) { return {p.x, p.y, p.z}; }

// Centre of the smallest sphere through all of 2, 3 or 4 points (the closed
// forms of the circumcentre); false when they are degenerate.
bool circumcentre(const std::vector<point>& pts, D3& c) {
  const D3 a = d3(pts[0]), b = d3(pts[1]) - a;
  if (pts.size() == 2) {
    c = a + 0.5 * b;
    return true;
  }
  const D3 e = d3(pts[2]) - a, n = cross(b, e);
  if (pts.size() == 3) {
    const double den = 2 * dot(n, n);
    if (den < 1e-12) return false;
    c = a + (1 / den) * (dot(e, e) * cross(n, b) + dot(b, b) * cross(e, n));
    return true;
  }
  const D3 d = d3(pts[3]) - a;
  const double den = 2 * dot(b, cross(e, d));
  if (std::fabs(den) < 1e-12) return false;
  c = a + (1 / den) * (dot(d, d) * n + dot(e, e) * cross(d, b) + dot(b, b) * cross(e, d));
  return true;
}

// Brute-force radius of the smallest enclosing sphere: the smallest of the
// spheres through 2, 3 or 4 of the points that encloses them all.
double brute_force_radius(const std::vector<point>& pts) {
  const size_t n = pts.size();
  double best = std::numeric_limits<double>::infinity();
  auto consider = [&](const std::vector<point>& support) {
    D3 c;
    if (!circumcentre(support, c)) return;
    const double r2 = dot(c - d3(support[0]), c - d3(support[0]));
    for (const point& p : pts)
      if (dot(c - d3(p), c - d3(p)) > r2 * (1 + 1e-9) + 1e-12) return;
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
  const D3 c = d3(s.center);
  double r = s.radius, slack = kRelTol * std::max(1.0, r);
  int on_surface = 0;
  for (const point& p : pts) {
    double d = std::sqrt(dot(c - d3(p), c - d3(p)));
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
                           m.principal_curv1, m.neighbors, m.vertex_faces, m.across_edge,
                           m.tristrips);
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
       "Computing normals... Done.\nComputing point areas... Done.\n"
       "Computing curvatures... Done.\n"},
      {[](TriMesh& m) { m.need_neighbors(); }, "Finding vertex neighbors... Done.\n"},
      {[](TriMesh& m) { m.need_vertex_faces(); }, "Finding vertex to triangle maps... Done.\n"},
      // The across-edge maps build the vertex-to-face maps on the way.
      {[](TriMesh& m) { m.need_across_edge(); },
       "Finding vertex to triangle maps... Done.\nFinding across-edge maps... Done.\n"},
      {[](TriMesh& m) { m.need_tristrips(); },
       "Finding vertex to triangle maps... Done.\nFinding across-edge maps... Done.\n"
       "Building triangle strips... Done.\n  3 strips (Avg. length 2.7)\n"},
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
