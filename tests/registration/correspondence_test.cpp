// Pairing, rejection, overlap weights, sampling and the compatibility predicates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "geometry/parallel.h"
#include "registration/Aligner.h"
#include "registration/icp_steps.h"
#include "registration/cdf_walk.h"
#include "registration/color_dirs.h"
#include "registration/compat.h"
#include "registration/point_mapper.h"
#include "registration/sampler.h"
#include "registration/significant_colors.h"
#include "test_meshes.h"

namespace {

// Two copies of one coloured height field, trees built, uniform cdfs, colour
// data in place: what a step finds when collect_pairs runs.
void identical_pair(Aligner& a, int n = 12) {
  testmesh::tree_pair(a, n, true);
  for (auto& s : a.slots) {
    compute_color_dirs(*s);
    s->color_tolerance = 0.0f;  // every vertex with neighbours is significant
    build_significant_colors(*s);
  }
}

// Indices in mesh 1 of the vertices a geometric pass samples from generator state `seed`.
std::vector<size_t> sampled_vertices(Aligner& a, uint32_t seed, float incr) {
  std::vector<PointPair> pairs;
  set_sample_generator_state(seed);
  IcpSteps::collect_pairs(a, incr, pairs, false);
  const std::vector<point>& v = a.slots[0]->mesh->vertices;
  std::vector<size_t> out;
  for (const PointPair& p : pairs) out.push_back(size_t(std::find(v.begin(), v.end(), p.p1) - v.begin()));
  return out;
}

}  // namespace

// Median: the value of rank n/2 in ascending order (the upper middle), found
// without reordering; rejection keeps the pairs at or below factor * median in
// their order.
TEST(MedianAndRejection, UpperMiddleRankAndOrderKeepingRejection) {
  Aligner a;
  a.params.verbosity = 0;
  EXPECT_EQ(IcpSteps::median_dist2(a, {}), 0.0f);
  std::vector<PointPair> pairs;
  for (float d : {1.0f, 5.0f, 2.0f, 2.5f, 0.5f, 3.0f}) pairs.push_back({point(), point(d, 0, 0), point()});
  // Squared: 1, 25, 4, 6.25, 0.25, 9; rank 3 of the sorted six is 6.25.
  EXPECT_FLOAT_EQ(IcpSteps::median_dist2(a, pairs), 6.25f);
  EXPECT_EQ(pairs[1].p2.x, 5.0f);  // not reordered
  // Threshold 6.25 * 1 keeps equality and drops 25 and 9.
  EXPECT_FLOAT_EQ(IcpSteps::reject_pairs(a, pairs, 1.0f), 6.25f);
  std::vector<float> kept;
  for (const PointPair& p : pairs) kept.push_back(p.p2.x);
  EXPECT_EQ(kept, (std::vector<float>{1.0f, 2.0f, 2.5f, 0.5f}));
  // All pairs at distance 0: the median is 0 and everything survives (0 <= 0).
  std::vector<PointPair> zeros(5, PointPair{});
  EXPECT_EQ(IcpSteps::reject_pairs(a, zeros, 6.25f), 0.0f);
  EXPECT_EQ(zeros.size(), 5u);
  // Longer lists, with ties, zeros, runs sharing their high bits and an
  // infinite distance: the same value as a plain selection.
  std::mt19937 rng(5);
  for (size_t n : {255, 256, 1001, 4096}) {
    for (int spread : {0, 3, 1000000, -1}) {  // -1: values a few float steps apart
      std::vector<PointPair> many;
      std::vector<float> squared;
      for (size_t i = 0; i < n; i++) {
        const float x = spread < 0 ? 1.0f + float(rng() % 64u) * 0x1p-23f
                                   : spread ? 1.0f + float(rng() % uint32_t(spread)) * 1e-3f : 0.0f;
        many.push_back({point(), point(i == 7 ? 3e30f : x, 0, 0), point()});
        squared.push_back(dist2(many.back().p1, many.back().p2));
      }
      std::nth_element(squared.begin(), squared.begin() + ptrdiff_t(n / 2), squared.end());
      EXPECT_EQ(IcpSteps::median_dist2(a, many), squared[n / 2]) << n << " values, spread " << spread;
    }
  }
}

TEST(Pairing, SamplesFollowTheDistributionAndTheFeatureMarks) {
  Aligner a;
  identical_pair(a);
  a.mode = IcpMode::geometric;
  // All mass on vertices 40 and 100 (interior), split 30 / 70: every sample
  // is one of them, and the share of each follows its mass.
  std::vector<float>& cdf = a.slots[0]->cdf;
  const std::vector<float> uniform = cdf;
  for (size_t i = 0; i < cdf.size(); i++) cdf[i] = i < 40 ? 0.0f : (i < 100 ? 0.3f : 1.0f);
  std::vector<size_t> picked = sampled_vertices(a, 11, 0.01f);
  ASSERT_FALSE(picked.empty());
  for (size_t i : picked) EXPECT_TRUE(i == 40 || i == 100) << "sampled vertex " << i << " without mass";
  EXPECT_NEAR(double(std::count(picked.begin(), picked.end(), 40u)) / double(picked.size()), 0.3, 0.06);
  // A pass takes the draws of the plain loop, the one reaching 1 included, and no more.
  for (uint32_t seed : {11u, 12u, 13u, 14u}) {
    Lcg32 plain{seed};
    for (float u = plain.next_unit() * 0.01f; u < 1.0f; u += plain.next_unit() * 0.01f) {
    }
    sampled_vertices(a, seed, 0.01f);
    EXPECT_EQ(sample_generator_state(), plain.state) << "seed " << seed;
  }
  // With marks set, the geometric pass samples marked vertices only.
  cdf = uniform;
  std::vector<bool>& marks = a.slots[0]->feature_marks;
  marks.assign(a.slots[0]->mesh->vertices.size(), false);
  for (size_t i = 0; i < marks.size(); i += 3) marks[i] = true;
  picked = sampled_vertices(a, 99, 0.02f);
  ASSERT_FALSE(picked.empty());
  for (size_t i : picked) EXPECT_TRUE(i < marks.size() && marks[i]) << "unmarked vertex " << i << " sampled";
}

// The guide of a cdf of n entries: guide[b] counts the entries with
// cdf * n not above b (the first entry beyond b when the cdf does not
// decrease), at most n - 1; checked at every 7th bucket.
void expect_guide_counts(const std::vector<float>& cdf, const char* what) {
  std::vector<int32_t> guide;
  build_cdf_guide(cdf, guide);
  const size_t n = cdf.size();
  ASSERT_EQ(guide.size(), n);
  for (size_t b = 0; b < n; b += 7) {
    const size_t below =
        size_t(std::count_if(cdf.begin(), cdf.end(), [&](float c) { return !(c * float(n) > float(b)); }));
    ASSERT_EQ(size_t(guide[b]), std::min(below, n - 1)) << what << ", bucket " << b;
  }
}

// The guided walk lands where the plain forward walk stops, for any guide:
// its own, one built over another distribution, or none. A sample filter
// over its own guide rejects only draws whose plain pick its mask rejects
// (and, for a sparse mask, most of those), and its bit mask keeps exactly
// the mask's vertices.
TEST(Pairing, GuidedSampleWalkStopsWhereThePlainWalkStops) {
  const size_t n = 3000;
  std::vector<std::vector<float>> cdfs;
  std::vector<float> masses(n);
  for (int shape = 0; shape < 4; shape++) {
    for (size_t i = 0; i < n; i++) {
      const float shapes[4] = {1.0f,                                              // uniform
                               (i / 200) % 2 ? 0.0f : float(i % 7),               // zero runs
                               i == 1500 ? 1000.0f : 1e-4f,                       // one heavy vertex
                               float((i * 2654435761u) % 1000) * 1e-3f};          // rough
      masses[i] = shapes[shape];
    }
    std::vector<float> cdf(n);
    float sum = 0.0f;
    for (size_t i = 0; i < n; i++) cdf[i] = sum += masses[i];
    for (float& c : cdf) c /= sum;
    cdf[n - 1] = 1.0f;
    cdfs.push_back(cdf);
  }
  for (size_t c = 0; c < cdfs.size(); c++) {
    const std::vector<float>& cdf = cdfs[c];
    expect_guide_counts(cdf, "shape");
    std::vector<int32_t> own, foreign;
    build_cdf_guide(cdf, own);
    build_cdf_guide(cdfs[(c + 1) % cdfs.size()], foreign);
    for (const std::vector<int32_t>* guide : {&own, &foreign, static_cast<std::vector<int32_t>*>(nullptr)}) {
      const std::vector<int32_t> none;
      const std::vector<int32_t>& g = guide ? *guide : none;
      Lcg32 gen;
      size_t plain = 0, guided = 0;
      for (float u = gen.next_unit() * 1e-3f; u < 1.0f; u += gen.next_unit() * 1e-3f) {
        while (cdf[plain] <= u) plain++;
        guided = next_sample(cdf, g, guided, u);
        ASSERT_EQ(guided, plain) << "shape " << c << " at u = " << u;
      }
    }
    for (size_t every : {1, 12, 400}) {
      SampleFilter filter;
      filter.set_mask(n, [every](size_t j) { return j % every == every / 2; });
      filter.rebuild(own);
      const uint8_t* buckets = filter.buckets(n);
      ASSERT_NE(buckets, nullptr);
      Lcg32 gen;
      size_t plain = 0, unkept = 0, filtered = 0;
      for (float u = gen.next_unit() * 1e-3f; u < 1.0f; u += gen.next_unit() * 1e-3f) {
        while (cdf[plain] <= u) plain++;
        const bool kept = plain % every == every / 2;
        ASSERT_EQ(filter.keeps(plain), kept) << "mask " << every << ", vertex " << plain;
        unkept += !kept;
        if (buckets[size_t(u * float(n))]) continue;
        filtered++;
        ASSERT_FALSE(kept) << "shape " << c << " mask " << every << ": u = " << u << " picks kept vertex " << plain;
      }
      if (every == 400 && c == 0) {
        EXPECT_GT(filtered, unkept * 9 / 10);
      }
    }
  }
  // A cdf that decreases somewhere (a NaN inside) still gets its counts.
  std::vector<float> broken = cdfs[3];
  broken[1000] = std::numeric_limits<float>::quiet_NaN();
  broken[2000] = 0.0f;
  expect_guide_counts(broken, "NaN inside");
  // The largest draw below 1 still falls in a bucket below n, also where
  // float(n) rounds n up (beyond 2^24): the filter has no bucket n.
  const float last_u = std::nextafter(1.0f, 0.0f);
  for (int64_t m : {1, 3, 3000, (1 << 24) - 1, (1 << 24) + 3, (1 << 25) + 7, 3 * (1 << 24) + 1, INT32_MAX})
    EXPECT_LT(int64_t(last_u * float(m)), m) << m;
}

// The block mappings give the single-point values bit for bit, for odd
// counts (a lane left over) and for a pose whose last row is not (0 0 0 1).
TEST(Pairing, BlockMappingMatchesThePointMapping) {
  std::vector<point> pts;
  Lcg32 gen;
  for (int i = 0; i < 7; i++)
    pts.push_back(point(gen.next_unit() * 3 - 1, gen.next_unit() * 1e4f, -gen.next_unit() * 1e-3f));
  PoseMatrix rigid = rotation(0.7, 0.3, -0.5, 0.8);
  rigid.at(0, 3) = 0.125;
  rigid.at(2, 3) = -7.5;
  PoseMatrix projective = rigid;
  projective.at(3, 2) = 0.25;
  for (const PoseMatrix& m : {rigid, projective}) {
    const PointMapper points(m);
    const DirectionMapper directions(m);
    for (size_t count : {size_t(0), size_t(1), size_t(6), size_t(7)}) {
      float x[3][8], d[3][8];
      float* const xs[3] = {x[0], x[1], x[2]};
      float* const ds[3] = {d[0], d[1], d[2]};
      points.map(pts.data(), count, xs);
      directions.map(pts.data(), count, ds);
      for (size_t k = 0; k < count; k++) {
        const point p = points(pts[k]), q = directions(pts[k]);
        for (int r = 0; r < 3; r++) {
          const float want_p = p[r], want_q = q[r];
          EXPECT_EQ(std::memcmp(&x[r][k], &want_p, sizeof(float)), 0) << "point " << k << " row " << r;
          EXPECT_EQ(std::memcmp(&d[r][k], &want_q, sizeof(float)), 0) << "direction " << k << " row " << r;
        }
      }
    }
  }
}

TEST(Pairing, ColourModeAppendsColourPairsAfterGeometricOnes) {
  Aligner a;
  identical_pair(a);
  std::vector<PointPair> geometric, colour_only, both;
  const uint32_t seed = 12345;
  a.mode = IcpMode::geometric;
  set_sample_generator_state(seed);
  IcpSteps::collect_pairs(a, 0.04f, geometric, false);
  a.mode = IcpMode::color;
  set_sample_generator_state(seed);
  IcpSteps::collect_pairs(a, 0.04f, both, false);
  // With every feature mark clear the geometric pass pairs nothing but draws
  // the same numbers, so the colour pass then sees the same samples.
  a.slots[0]->feature_marks.assign(a.slots[0]->mesh->vertices.size(), false);
  set_sample_generator_state(seed);
  IcpSteps::collect_pairs(a, 0.04f, colour_only, false);
  ASSERT_FALSE(geometric.empty());
  ASSERT_FALSE(colour_only.empty());
  ASSERT_EQ(both.size(), geometric.size() + colour_only.size());
  for (size_t i = 0; i < both.size(); i++) {
    const PointPair& want = i < geometric.size() ? geometric[i] : colour_only[i - geometric.size()];
    EXPECT_TRUE(both[i].p1 == want.p1 && both[i].p2 == want.p2 && both[i].normal1 == want.normal1) << i;
  }
}

TEST(Pairing, IdenticalScansPairEachInteriorVertexWithItselfInTheWorldFrame) {
  Aligner a;
  identical_pair(a);
  a.mode = IcpMode::geometric;
  // The same rigid motion on both meshes: every pair joins a vertex to
  // itself, in the moved frame, and normal1 is turned with it.
  PoseMatrix motion = translation(0.3, -0.2, 0.1) * rotation(0.4, 0.0, 0.0, 1.0);
  a.slots[0]->pose = motion;
  a.slots[1]->pose = motion;
  std::vector<PointPair> pairs;
  set_sample_generator_state(3);
  IcpSteps::collect_pairs(a, 0.05f, pairs, false);
  IcpSteps::collect_pairs(a, 0.05f, pairs, true);
  ASSERT_GT(pairs.size(), 10u);
  const TriMesh& m = *a.slots[0]->mesh;
  for (const PointPair& p : pairs) {
    EXPECT_LT(dist(p.p1, p.p2), 1e-5f);
    size_t i = 0;
    while (i < m.vertices.size() && !(dist(motion * m.vertices[i], p.p1) < 1e-6f)) i++;
    ASSERT_LT(i, m.vertices.size());
    EXPECT_LT(dist(transform_direction(motion, m.normals[i]), p.normal1), 1e-5f);
    // Boundary vertices of the grid (x or y at +-1) are never paired.
    EXPECT_TRUE(std::fabs(m.vertices[i].x) < 1.0f && std::fabs(m.vertices[i].y) < 1.0f) << i;
  }
}

TEST(OverlapWeights, StrictBoxAndOccupiedCells) {
  Aligner a;
  identical_pair(a, 10);
  a.params.max_dist = 0.0f;
  IcpSteps::update_overlap_weights(a);
  // Unset radius: the grid cell size, largest extent / 16.
  EXPECT_FLOAT_EQ(a.params.max_dist, 2.0f / 16.0f);
  const TriMesh& m = *a.slots[0]->mesh;
  const std::vector<float>& w = a.slots[0]->weights;
  ASSERT_EQ(w.size(), m.vertices.size());
  auto [zmin, zmax] = std::minmax_element(m.vertices.begin(), m.vertices.end(),
                                           [](const point& p, const point& q) { return p.z < q.z; });
  for (size_t i = 0; i < w.size(); i++) {
    // Vertices on a face of the other mesh's box fail the strict test; all
    // others lie in their own (occupied) cell.
    const point& v = m.vertices[i];
    bool on_box = std::fabs(v.x) == 1.0f || std::fabs(v.y) == 1.0f || v.z == zmin->z || v.z == zmax->z;
    EXPECT_EQ(w[i], on_box ? 0.0f : 1.0f) << "vertex " << i;
  }
  // Moved far away, nothing overlaps.
  a.slots[1]->pose = translation(10, 0, 0);
  IcpSteps::update_overlap_weights(a);
  for (auto& s : a.slots) EXPECT_EQ(std::count(s->weights.begin(), s->weights.end(), 0.0f), long(s->weights.size()));
  // The grids are kept between calls, but only for the vertex array they
  // were built over: new vertices far away in mesh 2's own frame overlap
  // nothing either.
  a.slots[1]->pose = PoseMatrix();
  std::vector<point> far = a.slots[1]->mesh->vertices;
  for (point& v : far) v.x += 10.0f;
  a.slots[1]->mesh->vertices = std::move(far);
  IcpSteps::update_overlap_weights(a);
  const std::vector<float>& w1 = a.slots[0]->weights;
  EXPECT_EQ(std::count(w1.begin(), w1.end(), 0.0f), long(w1.size()));
}

// Each predicate at its thresholds on vertex 1 (normal (1, 0, 0), colour
// 0.25 from grey, direction dot 0.5): strict for normals and colour distance,
// inclusive for the direction; missing data rejects.
TEST(CompatPredicates, ThresholdsAndMissingData) {
  TriMesh m;  // a closed tetrahedron (no boundary vertices) with outward-ish normals
  m.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), point(0, 0, 1)};
  m.faces = {Face(0, 2, 1), Face(0, 1, 3), Face(0, 3, 2), Face(1, 2, 3)};
  m.normals = {point(0, 0, -1), point(1, 0, 0), point(0, 1, 0), point(0, 0, 1)};
  m.colors = {Color(0.5f, 0.5f, 0.5f), Color(0.75f, 0.5f, 0.5f), Color(0.5f, 0.5f, 0.75f), Color(0, 0, 0)};
  const float* v1 = m.vertices[1].data();
  std::vector<point> dirs = {point(1, 0, 0), point(0.5f, 0, 0), point(0, 1, 0), point(1, 0, 0)};
  std::vector<ColorRecord> records;
  build_color_records(dirs, m.colors, 4, records);
  const Color grey(0.5f, 0.5f, 0.5f);
  const point x(1, 0, 0);
  EXPECT_TRUE(NormCompat(x, &m, 0.5f)(v1));
  EXPECT_FALSE(NormCompat(point(0.5f, 0, 0), &m, 0.5f)(v1));  // dot exactly min_dot
  EXPECT_FALSE(NormCompat(point(-1, 0, 0), &m, 0.5f)(v1));
  // The same answers from the separate arrays and from the records.
  const ColorRecord* const layouts[] = {nullptr, records.data()};
  for (const ColorRecord* side_by_side : layouts) {
    auto color_compat = [&](float min_dir_dot, float max_l1, const point* d) {
      ColorCompat c(grey, x, &m, min_dir_dot, max_l1, d);
      c.records = side_by_side;
      return c(v1);
    };
    EXPECT_TRUE(color_compat(0.5f, 0.3f, dirs.data()));
    EXPECT_FALSE(color_compat(0.5f, 0.25f, dirs.data()));
    EXPECT_FALSE(color_compat(0.6f, 0.3f, dirs.data()));
  }
  EXPECT_FALSE(ColorCompat(grey, x, &m, 0.5f, 0.3f, nullptr)(v1));
  m.normals.clear();  // interior vertices cannot be judged without normals
  m.colors.clear();
  EXPECT_FALSE(NormCompat(x, &m, 0.5f)(v1));
  EXPECT_FALSE(ColorCompat(grey, x, &m, 0.5f, 0.3f, dirs.data())(v1));
  build_color_records(dirs, m.colors, 4, records);  // no colours: no records
  EXPECT_TRUE(records.empty());
  // Every vertex of a lone triangle is on its boundary: accepted whatever its normal.
  TriMesh tri;
  tri.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0)};
  tri.faces = {Face(0, 1, 2)};
  tri.normals.assign(3, point(0, 0, 1));
  EXPECT_TRUE(NormCompat(point(0, 0, -1), &tri, 0.9f)(tri.vertices[1].data()));
}

// One step's weights, sampling masses and pairs are the same bits on 1 and
// 3 threads: each loop writes only its own slots, pairs are appended in
// sample order and the running sums stay sequential. The scans are large
// enough for every loop to split; mesh 2 is moved so the overlap is partial.
// A step's weights, distributions and pairs are the same bits on 1 and 3
// threads; pairing both directions in one loop, with the run's boundary
// flags, gives the pairs (and leaves the generator where) two one-direction
// calls without flags do.
TEST(ParallelStep, SameBitsOnAnyThreadCount) {
  struct Step {
    std::vector<float> weights[2], cdf[2];
    std::vector<PointPair> pairs;
    uint32_t generator = 0;
  };
  auto run = [](int threads, bool both) {
    set_thread_count(threads);
    Aligner a;
    a.params.verbosity = 0;
    identical_pair(a, 320);
    a.slots[1]->pose = translation(0.02, 0.01, 0.0) * rotation(0.05, 0.0, 0.0, 1.0);
    a.mode = IcpMode::color;
    a.params.max_dist = 0.0f;
    IcpSteps::update_overlap_weights(a);
    const float evals[6] = {0.5f, 1, 2, 3, 4, 6};
    float evecs[6][6] = {};
    for (int k = 0; k < 6; k++) evecs[k][(k + 2) % 6] = 1.0f;
    EXPECT_TRUE(IcpSteps::update_cdfs(a, evals, evecs, point(0.1f, 0, 0), 2.0f));
    Step s;
    set_sample_generator_state(7);
    if (both) {
      for (auto& slot : a.slots) {
        TriMesh& m = *slot->mesh;
        slot->boundary.resize(m.vertices.size());
        for (size_t v = 0; v < m.vertices.size(); v++) slot->boundary[v] = m.is_boundary(int(v));
      }
      IcpSteps::collect_pairs_both(a, 0.0002f, s.pairs);
    } else {
      IcpSteps::collect_pairs(a, 0.0002f, s.pairs, false);
      IcpSteps::collect_pairs(a, 0.0002f, s.pairs, true);
    }
    s.generator = sample_generator_state();
    for (int k = 0; k < 2; k++) s.weights[k] = a.slots[k]->weights, s.cdf[k] = a.slots[k]->cdf;
    return s;
  };
  const Step one = run(1, false), three = run(3, true);
  set_thread_count(0);
  auto same = [](const auto& x, const auto& y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(x[0])) == 0;
  };
  EXPECT_GT(one.pairs.size(), 6000u);
  EXPECT_TRUE(same(one.pairs, three.pairs));
  EXPECT_EQ(one.generator, three.generator);
  for (int k = 0; k < 2; k++) {
    EXPECT_TRUE(same(one.weights[k], three.weights[k])) << "mesh " << k + 1;
    EXPECT_TRUE(same(one.cdf[k], three.cdf[k])) << "mesh " << k + 1;
    EXPECT_GT(std::count(one.weights[k].begin(), one.weights[k].end(), 0.0f), 0) << "mesh " << k + 1;
    // W is positive definite: a vertex gets sampling mass exactly when it
    // lies in the overlap, whichever block of vertices it shares.
    for (size_t i = 0; i < one.cdf[k].size(); i++) {
      const bool grows = one.cdf[k][i] > (i ? one.cdf[k][i - 1] : 0.0f);
      ASSERT_EQ(grows, one.weights[k][i] != 0.0f) << "mesh " << k + 1 << " vertex " << i;
    }
  }
}
