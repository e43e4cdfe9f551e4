// The k-d tree against brute force on random and degenerate clouds, its
// bounds and its degenerate inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "spatial/KDtree.h"

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

float d2(const float* a, const point& b) { return dist2(point(a), b); }

// Accepts points whose index is even: removes about half of every neighbourhood.
struct EvenIndexOnly : KDtree::CompatFunc {
  const std::vector<point>* pts;
  explicit EvenIndexOnly(const std::vector<point>& p) : pts(&p) {}
  bool operator()(const float* p) const override { return KDtree::index_of(p, *pts) % 2 == 0; }
};

// Brute force: squared distances of all accepted points, ascending.
std::vector<float> accepted_dist2(const std::vector<point>& pts, const point& q,
                                  const KDtree::CompatFunc* compat) {
  std::vector<float> out;
  for (const point& p : pts) {
    float d = dist2(p, q);
    if (!std::isnan(d) && (!compat || (*compat)(p.data()))) out.push_back(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The bound a query with max_dist2 <= 0 uses: the squared half diagonal of the
// box around the finite coordinates, or none when the root is a leaf.
float zero_bound2(const std::vector<point>& pts) {
  if (pts.size() <= 7) return kInf;
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300}, diag2 = 0;
  for (const point& p : pts)
    for (int a = 0; a < 3; a++)
      if (std::isfinite(p[a])) lo[a] = std::min<double>(lo[a], p[a]), hi[a] = std::max<double>(hi[a], p[a]);
  for (int a = 0; a < 3; a++) diag2 += (hi[a] - lo[a]) * (hi[a] - lo[a]);
  float r = static_cast<float>(0.5 * std::sqrt(diag2));
  return r * r;
}

// Checks both queries at `q` against brute force, with and without the predicate.
void expect_matches_brute_force(const std::vector<point>& pts, const point& q, float max_dist2) {
  KDtree tree(pts);
  const float bound2 = max_dist2 > 0 ? max_dist2 : zero_bound2(pts);
  EvenIndexOnly even(pts);
  for (const KDtree::CompatFunc* compat : {static_cast<const KDtree::CompatFunc*>(nullptr),
                                           static_cast<const KDtree::CompatFunc*>(&even)}) {
    std::vector<float> want = accepted_dist2(pts, q, compat);
    SCOPED_TRACE(testing::Message() << "query (" << q.x << ", " << q.y << ", " << q.z
                                    << ") predicate " << (compat != nullptr));
    const float* got = tree.find_nearest(q.data(), max_dist2, compat);
    if (want.empty() || !(want[0] < bound2)) {
      EXPECT_EQ(got, nullptr);
    } else {
      ASSERT_NE(got, nullptr);
      EXPECT_EQ(d2(got, q), want[0]);
      EXPECT_TRUE(!compat || (*compat)(got));
    }
    for (int k : {1, 6, 20}) {
      std::vector<const float*> knn;
      tree.find_k_nearest(knn, k, q.data(), max_dist2, compat);
      ASSERT_EQ(knn.size(), std::min<std::size_t>(k, want.size())) << "k = " << k;
      for (std::size_t i = 0; i < knn.size(); i++) EXPECT_EQ(d2(knn[i], q), want[i]) << "k = " << k;
    }
  }
}

std::vector<point> random_cloud(std::mt19937& rng, int n, float scale) {
  std::uniform_real_distribution<float> u(-scale, scale);
  std::vector<point> pts(n);
  for (point& p : pts) p = point(u(rng), u(rng), u(rng));
  return pts;
}

TEST(KDtreeQueries, MatchBruteForceOnRandomAndDegenerateClouds) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> u(-1.2f, 1.2f);
  std::vector<std::vector<point>> clouds;
  clouds.push_back(random_cloud(rng, 2000, 1.0f));
  // Many identical points, plus a few others: runs on the split plane.
  std::vector<point> dup(300, point(0.25f, 0.25f, 0.25f));
  for (int i = 0; i < 20; i++) dup.push_back(point(u(rng), u(rng), u(rng)));
  clouds.push_back(dup);
  // All on one plane, and an integer lattice whose box midpoints hit rows of points.
  std::vector<point> plane = random_cloud(rng, 1000, 1.0f);
  for (point& p : plane) p.z = 0.0f;
  clouds.push_back(plane);
  std::vector<point> lattice;
  for (int x = 0; x <= 8; x++)
    for (int y = 0; y <= 8; y++)
      for (int z = 0; z <= 4; z++) lattice.push_back(point(x * 0.25f, y * 0.25f, z * 0.25f));
  clouds.push_back(lattice);
  // Coordinates from five values: duplicates and split-plane runs everywhere.
  std::uniform_int_distribution<int> level(0, 4);
  std::vector<point> quantized(600);
  for (point& p : quantized) p = point(level(rng) * 0.25f, level(rng) * 0.25f, level(rng) * 0.25f);
  clouds.push_back(quantized);

  for (std::size_t c = 0; c < clouds.size(); c++) {
    SCOPED_TRACE(testing::Message() << "cloud " << c);
    for (int i = 0; i < 25; i++) {
      point q(u(rng), u(rng), u(rng));
      expect_matches_brute_force(clouds[c], q, 0.0f);    // root-radius bound
      expect_matches_brute_force(clouds[c], q, 0.01f);   // tight bound
    }
    // Queries on stored points (distance 0) and on lattice planes.
    for (int i = 0; i < 10; i++) expect_matches_brute_force(clouds[c], clouds[c][i * 7], 0.0f);
  }
}

TEST(KDtreeQueries, PointsOnTheSplitPlaneDoNotHideOthers) {
  // x = 0 .. 2 splits at 1, and both partition cursors first stop on a point
  // at x = 1. Cutting the array there without looking at the points between
  // them would leave x = 2 below the split and the query near 2 would stop
  // at x = 1 on the other side.
  const float xs[] = {1, 0, 2, 0, 0, 0, 0, 1};
  std::vector<point> pts;
  for (float x : xs) pts.push_back(point(x, 0, 0));
  KDtree tree(pts);
  const point q(2.1f, 0, 0);
  EXPECT_EQ(tree.find_nearest(q.data(), 10.0f), pts[2].data());
  EXPECT_EQ(tree.find_nearest(q.data(), 0.0f), pts[2].data());
}

TEST(KDtreeBounds, PointExactlyAtTheBoundIsNotReturned) {
  std::vector<point> pts = {point(3, 0, 0), point(0, 5, 0), point(0, 0, 7)};
  KDtree tree(pts);
  const point q(0, 0, 0);
  EXPECT_EQ(tree.find_nearest(q.data(), 9.0f), nullptr);
  EXPECT_EQ(tree.find_nearest(q.data(), 9.5f), pts[0].data());
}

TEST(KDtreeBounds, ZeroBoundIsRootRadiusForInteriorRootAndUnboundedForLeafRoot) {
  // Eight points make an interior root; the cube's half diagonal is sqrt(3).
  std::vector<point> cube;
  for (int i = 0; i < 8; i++) cube.push_back(point(i & 1 ? 1.f : -1.f, i & 2 ? 1.f : -1.f, i & 4 ? 1.f : -1.f));
  KDtree eight(cube);
  const point near_corner(1, 1, 2.7f);  // 1.7 from (1, 1, 1): inside sqrt(3)
  const point far_away(1, 1, 2.8f);     // 1.8 from every point: outside
  EXPECT_EQ(eight.find_nearest(near_corner.data(), 0.0f), cube[7].data());
  EXPECT_EQ(eight.find_nearest(far_away.data(), 0.0f), nullptr);
  EXPECT_EQ(eight.find_nearest(far_away.data(), -1.0f), nullptr);

  // Seven points are one leaf: no radius, so the search is unbounded.
  std::vector<point> seven(cube.begin(), cube.begin() + 7);
  KDtree leaf(seven);
  const point very_far(1000, 1000, 1000);
  EXPECT_EQ(leaf.find_nearest(very_far.data(), 0.0f), seven[3].data());
}

TEST(KDtreeQueries, PredicateIsConsultedOnlyForImprovingCandidates) {
  std::mt19937 rng(7);
  std::vector<point> pts = random_cloud(rng, 20000, 1.0f);
  struct Counter : KDtree::CompatFunc {
    mutable int calls = 0;
    bool operator()(const float*) const override { return ++calls > 0; }
  } counter;
  KDtree tree(pts);
  const point q(0.1f, -0.2f, 0.3f);
  ASSERT_NE(tree.find_nearest(q.data(), 0.0f, &counter), nullptr);
  // Only a chain of ever-closer candidates reaches it, never the whole cloud.
  EXPECT_LT(counter.calls, 100);
}

TEST(KDtreeKNearest, ReturnsAllWhenFewerThanKAndIgnoresTheBound) {
  std::vector<point> pts = {point(4, 0, 0), point(1, 0, 0), point(3, 0, 0), point(2, 0, 0)};
  KDtree tree(pts);
  const point q(0, 0, 0);
  std::vector<const float*> knn = {pts[0].data()};  // replaced, not appended to
  tree.find_k_nearest(knn, 6, q.data(), 0.0f);
  EXPECT_EQ(knn, (std::vector<const float*>{pts[1].data(), pts[3].data(), pts[2].data(), pts[0].data()}));
  tree.find_k_nearest(knn, 2, q.data(), 0.01f);  // the bound never removes a point
  EXPECT_EQ(knn.size(), 2u);
  tree.find_k_nearest(knn, 0, q.data());
  EXPECT_TRUE(knn.empty());
}

TEST(KDtreeDegenerate, EmptyTreeFindsNothing) {
  KDtree from_null(nullptr, 5);
  KDtree from_zero(std::vector<point>{});
  const point q(0, 0, 0);
  std::vector<const float*> knn = {q.data()};
  for (const KDtree* tree : {&from_null, &from_zero}) {
    EXPECT_EQ(tree->find_nearest(q.data(), 0.0f), nullptr);
    tree->find_k_nearest(knn, 3, q.data());
    EXPECT_TRUE(knn.empty());
  }
}

TEST(KDtreeDegenerate, NaNAndExtremeCoordinatesBuildAndAnswer) {
  std::mt19937 rng(99);
  std::vector<point> pts = random_cloud(rng, 500, 1.0f);
  for (int i = 0; i < 500; i += 3) pts[i][i % 3] = kNaN;  // never returned
  for (int i = 0; i < 10; i++) expect_matches_brute_force(pts, pts[i * 5 + 1], 0.0f);
  KDtree tree(pts);
  const point nan_query(kNaN, 0, 0);
  EXPECT_EQ(tree.find_nearest(nan_query.data(), 0.0f), nullptr);
  std::vector<const float*> knn;
  tree.find_k_nearest(knn, 6, nan_query.data());
  EXPECT_TRUE(knn.empty());

  // Only NaN and infinite or huge coordinates: builds, answers without a crash or a hang.
  std::vector<point> odd(40, point(kNaN, kNaN, kNaN));
  for (int i = 0; i < 20; i++) odd.push_back(point(i % 2 ? kInf : -3e38f, 3e38f, -kInf));
  KDtree odd_tree(odd);
  for (const point& q : {point(0, 0, 0), odd.back(), point(kNaN, 0, 0)}) {
    odd_tree.find_nearest(q.data(), 0.0f);
    odd_tree.find_k_nearest(knn, 6, q.data());
  }
}

TEST(KDtreeDegenerate, AdjacentFloatsStillSplitIntoTwoSides) {
  // The midpoint of 1 and its float successor rounds onto one of them; the
  // split must still leave both sides non-empty (else the build never ends).
  const float one_up = std::nextafter(1.0f, 2.0f);
  std::vector<point> pts;
  for (int i = 0; i < 40; i++) pts.push_back(point(i % 2 ? 1.0f : one_up, 0, 0));
  for (int i = 0; i < 5; i++) expect_matches_brute_force(pts, pts[i], 0.0f);
  // A lone point on the split value ahead of all the others (the middle of
  // its one-point run is the very first position); the spread along y is below
  // one float step of x, so x stays the split axis. Every point at 1 + ulp
  // must end above the split, or the query at one of them stops too early.
  std::vector<point> lone(1, point(1.0f, 0, 0));
  for (int j = 0; j < 39; j++) lone.push_back(point(one_up, j * 2e-9f, 0));
  for (int i : {0, 1, 2, 20, 39}) expect_matches_brute_force(lone, lone[i], 0.0f);
}

}  // namespace
