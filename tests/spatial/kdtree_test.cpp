// The k-d tree against brute force on random and degenerate clouds, its
// bounds and its empty and non-finite inputs.
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
    SCOPED_TRACE(testing::Message() << "query " << q.x << " " << q.y << " " << q.z << " predicate " << !!compat);
    const float* got = tree.find_nearest(q.data(), max_dist2, compat);
    if (want.empty() || !(want[0] < bound2)) {
      EXPECT_EQ(got, nullptr);
    } else {
      ASSERT_NE(got, nullptr);
      EXPECT_EQ(dist2(point(got), q), want[0]);
      EXPECT_TRUE(!compat || (*compat)(got));
    }
    std::vector<const float*> knn = {q.data()};  // each query replaces the list
    for (int k : {0, 1, 6, 20}) {
      tree.find_k_nearest(knn, k, q.data(), max_dist2, compat);
      ASSERT_EQ(knn.size(), std::min<std::size_t>(k, want.size())) << "k = " << k;
      for (std::size_t i = 0; i < knn.size(); i++) EXPECT_EQ(dist2(point(knn[i]), q), want[i]) << "k = " << k;
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
  clouds.emplace_back(300, point(0.25f, 0.25f, 0.25f));
  for (int i = 0; i < 20; i++) clouds.back().push_back(point(u(rng), u(rng), u(rng)));
  // All on one plane, and an integer lattice whose box midpoints hit rows of points.
  clouds.push_back(random_cloud(rng, 1000, 1.0f));
  for (point& p : clouds.back()) p.z = 0.0f;
  clouds.emplace_back();
  for (int x = 0; x <= 8; x++)
    for (int y = 0; y <= 8; y++)
      for (int z = 0; z <= 4; z++) clouds.back().push_back(point(x * 0.25f, y * 0.25f, z * 0.25f));
  // Coordinates from five values: duplicates and split-plane runs everywhere.
  std::uniform_int_distribution<int> level(0, 4);
  clouds.emplace_back(600);
  for (point& p : clouds.back()) p = point(level(rng) * 0.25f, level(rng) * 0.25f, level(rng) * 0.25f);
  clouds.emplace_back();                         // an empty tree finds nothing
  clouds.push_back(random_cloud(rng, 5, 1.0f));  // one leaf, fewer points than k
  // NaN coordinates are never returned; a query at pts[0] has a NaN itself.
  clouds.push_back(random_cloud(rng, 500, 1.0f));
  for (int i = 0; i < 500; i += 3) clouds.back()[i][i % 3] = kNaN;
  // The midpoint of 1 and its float successor rounds onto one of them; the split
  // must still leave both sides non-empty (else the build never ends). Results
  // are ordered by rounded distance: these near-ties are queried at their points.
  const std::size_t random_queries_until = clouds.size();
  const float one_up = std::nextafter(1.0f, 2.0f);
  clouds.emplace_back();
  for (int i = 0; i < 40; i++) clouds.back().push_back(point(i % 2 ? 1.0f : one_up, 0, 0));
  // A lone point on the split value ahead of the others, y spread below one
  // float step of x: every point at 1 + ulp must end above the split.
  clouds.emplace_back(1, point(1.0f, 0, 0));
  for (int j = 0; j < 39; j++) clouds.back().push_back(point(one_up, j * 2e-9f, 0));

  for (std::size_t c = 0; c < clouds.size(); c++) {
    SCOPED_TRACE(testing::Message() << "cloud " << c);
    for (int i = 0; i < 25 && c < random_queries_until; i++) {
      point q(u(rng), u(rng), u(rng));
      expect_matches_brute_force(clouds[c], q, i % 2 ? 0.0f : -1.0f);  // root-radius bound
      expect_matches_brute_force(clouds[c], q, 0.01f);   // tight bound
    }
    // Queries on stored points (distance 0) and on lattice planes.
    for (std::size_t i = 0; i < std::min<std::size_t>(clouds[c].size(), 70); i += 7)
      expect_matches_brute_force(clouds[c], clouds[c][i], 0.0f);
  }
}

TEST(KDtreeBounds, KnownAnswersAtTheBoundOnTheSplitPlaneAndFarFromALeafRoot) {
  // x = 0 .. 2 splits at 1, and both partition cursors first stop on a point at
  // x = 1: cutting there without looking between them leaves x = 2 below the split.
  std::vector<point> split;
  for (float x : {1, 0, 2, 0, 0, 0, 0, 1}) split.push_back(point(x, 0, 0));
  const std::vector<point> axes = {point(3, 0, 0), point(0, 5, 0), point(0, 0, 7)};
  struct Case { const std::vector<point>* pts; point q; float max_dist2; int want; };
  const Case cases[] = {
      {&split, point(2.1f, 0, 0), 10.0f, 2}, {&split, point(2.1f, 0, 0), 0.0f, 2},
      {&axes, point(0, 0, 0), 9.0f, -1},  // exactly at the bound: not returned
      {&axes, point(0, 0, 0), 9.5f, 0},
      {&axes, point(1000, 1000, 1000), 0.0f, 2},  // a leaf root has no radius: unbounded
  };
  for (const Case& c : cases) {
    KDtree tree(*c.pts);
    const float* want = c.want < 0 ? nullptr : (*c.pts)[std::size_t(c.want)].data();
    EXPECT_EQ(tree.find_nearest(c.q.data(), c.max_dist2), want) << "case " << &c - cases;
  }
}

TEST(KDtreeDegenerate, NullAndNonFiniteCloudsAnswerWithoutACrash) {
  const point q(0, 0, 0);
  std::vector<const float*> knn = {q.data()};
  KDtree from_null(nullptr, 5);
  EXPECT_EQ(from_null.find_nearest(q.data(), 0.0f), nullptr);
  from_null.find_k_nearest(knn, 3, q.data());
  EXPECT_TRUE(knn.empty());
  // Only NaN and infinite or huge coordinates: builds, answers without a crash or a hang.
  std::vector<point> odd(40, point(kNaN, kNaN, kNaN));
  for (int i = 0; i < 20; i++) odd.push_back(point(i % 2 ? kInf : -3e38f, 3e38f, -kInf));
  KDtree odd_tree(odd);
  for (const point& p : {point(0, 0, 0), odd.back(), point(kNaN, 0, 0)}) {
    odd_tree.find_nearest(p.data(), 0.0f);
    odd_tree.find_k_nearest(knn, 6, p.data());
  }
}

}  // namespace
