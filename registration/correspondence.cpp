// ICP correspondence: overlap weights, stability-weighted sampling
// distributions, pairing of samples with compatible closest vertices of the
// other mesh, and median-based outlier rejection. The sampling follows the
// stable-sampling idea of Gelfand et al. (2003): vertices whose pairs would
// pin down poorly constrained motions receive more sampling mass.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "geometry/console.h"
#include "geometry/parallel.h"
#include "geometry/Lcg32.h"
#include "geometry/wide_lanes.h"
#include "registration/Aligner.h"
#include "registration/cdf_walk.h"
#include "registration/compat.h"
#include "registration/point_mapper.h"
#include "registration/sampler.h"
#include "registration/timer.h"
#include "spatial/KDtree.h"
#include "spatial/kdtree_search.h"

namespace {

bool has_pairing_data(const MeshSlot& slot) {
  if (!slot.mesh || !slot.kdtree) return false;
  size_t n = slot.mesh->vertices.size();
  return n > 0 && slot.mesh->normals.size() == n && slot.cdf.size() == n;
}

bool has_color_data(const MeshSlot& slot) {
  size_t n = slot.mesh->vertices.size();
  return slot.mesh->colors.size() == n && slot.color_dirs.size() == n &&
         slot.significant_flags.size() == n;
}

// Everything a pass needs to turn a (sampled, matched) vertex pair into a
// PointPair in the world frame.
struct PairFrames {
  const MeshSlot* mesh1;
  const MeshSlot* mesh2;
  PointMapper pose1, pose2;
  DirectionMapper normal1_matrix;
  PairFrames(const MeshSlot& s1, const MeshSlot& s2)
      : mesh1(&s1), mesh2(&s2), pose1(s1.pose), pose2(s2.pose),
        normal1_matrix(normal_matrix(s1.pose)) {}
  // The pair of vertex i1 of mesh 1 and i2 of mesh 2. False for a pair with
  // a coordinate that is not finite (a corrupt vertex or normal), which is
  // left out: one NaN would otherwise spread into the median, the sums and
  // the pose.
  bool make(int i1, int i2, PointPair& pair) const {
    pair.p1 = pose1(mesh1->mesh->vertices[size_t(i1)]);
    pair.p2 = pose2(mesh2->mesh->vertices[size_t(i2)]);
    pair.normal1 = normal1_matrix(mesh1->mesh->normals[size_t(i1)]);
    return is_finite(pair.p1) && is_finite(pair.p2) && is_finite(pair.normal1);
  }
};

// One sample of a pairing pass: the sampled vertex and, once searched, its
// pair. Samples are drawn in order first, searched in parallel (each search
// writes only its own slot), and their pairs appended in sample order, so
// the pair list does not depend on the thread count.
class PairingPass;
struct PairSlot {
  PointPair pair;
  const PairingPass* pass = nullptr;  // the direction that drew it
  int32_t vertex = 0;
  int32_t match = -1;  // the searched vertex of the other mesh, or -1
  bool color = false;  // drawn by the colour pass
  bool found = false;
};

// A loop is split only when each thread gets enough work to pay for handing
// it over (measured costs in bench/README.md, "Thread pool thresholds"). On a
// machine busy with other programs the pool itself falls back to one thread
// (see geometry/parallel.h).
const size_t kMinSearchesPerThread = 64;
const size_t kSearchChunk = 16;  // samples per piece of the parallel search loop
const size_t kMinVerticesPerThread = 2048;

// Cell coordinate of a value already scaled to grid units: truncated, at most
// 15. Anything that is not a positive number (a flat box gives 0 * 0) is 0.
// Written with selects only, so that loops over it vectorise.
inline int cell_coord(float t) {
  const float positive = t > 0.0f ? t : 0.0f;
  return int(positive < 15.0f ? positive : 15.0f);
}

inline int cell_of(const OccupancyGrid& g, const point& p) {
  int ix = cell_coord((p.x - g.min.x) * g.scale);
  int iy = cell_coord((p.y - g.min.y) * g.scale);
  int iz = cell_coord((p.z - g.min.z) * g.scale);
  return (ix * 16 + iy) * 16 + iz;
}

// Builds the slot's grid unless it is already built over the mesh's vertices.
const OccupancyGrid& slot_grid(MeshSlot& slot) {
  OccupancyGrid& g = slot.grid;
  const std::vector<point>& verts = slot.mesh->vertices;
  if (g.vertices == verts.data() && g.vertex_count == verts.size()) return g;
  g.min = point(3.4028235e38f, 3.4028235e38f, 3.4028235e38f);
  g.max = -g.min;
  for (const point& v : verts) {
    for (int a = 0; a < 3; a++) {
      g.min[a] = std::min(g.min[a], v[a]);
      g.max[a] = std::max(g.max[a], v[a]);
    }
  }
  point size = g.max - g.min;
  float largest = std::max(size.x, std::max(size.y, size.z));
  g.scale = largest > 0.0f ? 16.0f / largest : 0.0f;
  std::memset(g.cells, 0, sizeof g.cells);
  for (const point& v : verts) g.cells[cell_of(g, v)] = 1;
  g.vertices = verts.data();
  g.vertex_count = verts.size();
  return g;
}

// Vertices per block of overlap_weights.
const size_t kOverlapBlock = 64;

// For `count` vertices: their positions under `to_other` (into
// positions[0..2]), whether each lies strictly inside the grid's box
// (`inside`, 0 or 1) and its cell, as branch-free arithmetic over arrays.
WIDE_LANES void place_in_grid(const PointMapper& to_other, const OccupancyGrid& g, const point* verts,
                              size_t count, float* const positions[3], int* inside, int* cell) {
  to_other.map(verts, count, positions);
  const float* px = positions[0];
  const float* py = positions[1];
  const float* pz = positions[2];
  for (size_t k = 0; k < count; k++) {
    inside[k] = (px[k] > g.min.x) & (px[k] < g.max.x) & (py[k] > g.min.y) & (py[k] < g.max.y) &
                (pz[k] > g.min.z) & (pz[k] < g.max.z);
    cell[k] = (cell_coord((px[k] - g.min.x) * g.scale) * 16 + cell_coord((py[k] - g.min.y) * g.scale)) * 16 +
              cell_coord((pz[k] - g.min.z) * g.scale);
  }
}

// Weight 1 for every vertex of `slot` that `to_other` places in the overlap
// with `other` (grid box and occupancy, and optionally a close non-boundary vertex).
void overlap_weights(MeshSlot& slot, const PoseMatrix& to_other_matrix, MeshSlot& other,
                     const OccupancyGrid& other_grid, bool use_grid, bool check_nearest,
                     float max_dist) {
  const std::vector<point>& verts = slot.mesh->vertices;
  slot.weights.resize(verts.size());
  float d2 = max_dist * max_dist;
  const PointMapper to_other(to_other_matrix);
  // The boundary test only reads once its tables exist.
  if (check_nearest) {
    other.mesh->need_neighbors();
    other.mesh->need_vertex_faces();
  }
  TriMesh& other_mesh = *other.mesh;
  const OccupancyGrid& g = other_grid;
  const size_t n = verts.size();
  // In blocks: positions first, then the box test and cell of every vertex
  // as branch-free arithmetic over arrays (which the compiler vectorises),
  // then the lookups.
  const size_t blocks = (n + kOverlapBlock - 1) / kOverlapBlock;
  parallel_for(blocks, kMinVerticesPerThread / kOverlapBlock, [&](size_t block) {
    const size_t begin = block * kOverlapBlock;
    const size_t count = std::min(n, begin + kOverlapBlock) - begin;
    float px[kOverlapBlock], py[kOverlapBlock], pz[kOverlapBlock];
    int inside[kOverlapBlock], cell[kOverlapBlock];
    float* const positions[3] = {px, py, pz};
    place_in_grid(to_other, g, verts.data() + begin, count, positions, inside, cell);
    if (!check_nearest) {
      // The common case, written without branches: whether a vertex falls in
      // an occupied cell follows no pattern a predictor could learn.
      const int all = use_grid ? 0 : 1;
      for (size_t k = 0; k < count; k++)
        slot.weights[begin + k] = float(all | (inside[k] & int(g.cells[cell[k]] != 0)));
      return;
    }
    for (size_t k = 0; k < count; k++) {
      float& w = slot.weights[begin + k];
      w = 0.0f;
      if (use_grid && (!inside[k] || !g.cells[cell[k]])) continue;
      const point p(px[k], py[k], pz[k]);
      const float* q = other.kdtree ? other.kdtree->find_nearest(p.data(), d2) : nullptr;
      if (!q || other_mesh.is_boundary(KDtree::index_of(q, other_mesh.vertices))) continue;
      w = 1.0f;
    }
  });
}

// Vertices per block of sampling_mass.
const size_t kMassBlock = 64;

// `value` when `on`, else +0, as a mask on its bits: a select of float
// values is left as a branch (the compiler may not compute an operand the
// source computes only conditionally), the mask runs over whole lanes.
inline float kept_or_zero(bool on, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits &= 0u - uint32_t(on);
  std::memcpy(&value, &bits, sizeof bits);
  return value;
}

// Sampling mass of vertices [begin, end) (at most kMassBlock) of one mesh
// into out[0 .. end - begin): (v^T W v) x weight with v = (x cross m, m), x
// the scaled world position about the centroid and m the world normal; 0
// for a vertex of weight 0, and for a negative or NaN mass (W is positive
// semi-definite, so only round-off or a corrupt vertex gives one), which
// keeps the running sums non-decreasing. The 6-vectors are laid out per
// component so that the quadratic forms run over arrays; each vertex's sums
// keep their order, so the values are those of a one-vertex loop.
WIDE_LANES void sampling_mass(const TriMesh& mesh, const std::vector<float>& weights, const PointMapper& pose,
                   const DirectionMapper& nmat, const point& centroid, float scale,
                   const float W[6][6], size_t begin, size_t end, float* out) {
  float v[6][kMassBlock];
  float w[kMassBlock];
  float x[3][kMassBlock], m[3][kMassBlock];
  const size_t count = end - begin;
  float* const xs[3] = {x[0], x[1], x[2]};
  float* const ms[3] = {m[0], m[1], m[2]};
  pose.map(mesh.vertices.data() + begin, count, xs);
  nmat.map(mesh.normals.data() + begin, count, ms);
  const size_t weighted = std::min(end, std::max(begin, weights.size())) - begin;
  for (size_t k = 0; k < count; k++) w[k] = k < weighted ? weights[begin + k] : 0.0f;
  // x = (world position - centroid) * scale and v = (x cross m, m), written
  // per coordinate (the operations of the point expressions, in their order)
  // so that the loop runs over whole lanes.
  for (size_t k = 0; k < count; k++) {
    const float xx = (x[0][k] - centroid.x) * scale;
    const float xy = (x[1][k] - centroid.y) * scale;
    const float xz = (x[2][k] - centroid.z) * scale;
    // A vertex of weight 0 gets the zero vector (whatever its position).
    const bool on = w[k] != 0.0f;
    v[0][k] = kept_or_zero(on, xy * m[2][k] - xz * m[1][k]);
    v[1][k] = kept_or_zero(on, xz * m[0][k] - xx * m[2][k]);
    v[2][k] = kept_or_zero(on, xx * m[1][k] - xy * m[0][k]);
    v[3][k] = kept_or_zero(on, m[0][k]);
    v[4][k] = kept_or_zero(on, m[1][k]);
    v[5][k] = kept_or_zero(on, m[2][k]);
  }
  for (size_t k = 0; k < count; k++) {
    float quad = 0.0f;
    for (int r = 0; r < 6; r++) {
      float row = 0.0f;
      for (int c = 0; c < 6; c++) row += W[r][c] * v[c][k];
      quad += v[r][k] * row;
    }
    const float mass = quad * w[k];
    out[k] = mass > 0.0f ? mass : 0.0f;
  }
}

// Whether any of weights[begin .. end) is not 0 (entries beyond the array count as 0).
bool any_weight(const std::vector<float>& weights, size_t begin, size_t end) {
  end = std::min(end, weights.size());
  int any = 0;
  for (size_t i = begin; i < end; i++) any |= int(weights[i] != 0.0f);
  return any != 0;
}

// Draws one pass of samples along `cdf`: u starts at draw * incr and grows
// by draw * incr while below 1, each u picks the first vertex whose cdf
// value exceeds it, and the vertices that `keep` accepts are written to
// picked[count ...] in draw order; returns the new count. Every draw is
// taken whether kept or not, so the generator advances the same way for any
// marks. The cdf ends in exactly 1.0 and u < 1, so every pick is a vertex.
// `buckets` (a SampleFilter's, for this cdf and `keep`; may be null) rejects
// most draws that `keep` would reject before they walk the cdf.
//
// In two loops: the running sum of the draws (a chain of dependent float
// additions) with the bucket test, keeping the draws that pass it, then
// their picks, whose memory reads do not depend on each other and so
// overlap. Neither loop branches on the bucket or on `keep`, which accept
// or reject draws in no pattern a predictor learns: every draw is written
// and only the count of those kept advances. `us` and `picked` only grow,
// so that they are not cleared again at every pass. The first loop takes
// two draws per round, both generator states computed from the round's
// first, so that only the additions wait on each other.
template <typename Keep>
size_t draw_pass(const std::vector<float>& cdf, const std::vector<int32_t>& guide,
                 const uint8_t* buckets, float incr, Lcg32& generator, std::vector<float>& us,
                 std::vector<int32_t>& picked, size_t count, const Keep& keep) {
  const size_t n = cdf.size();
  const float scale = float(n);
  // The buffer's storage in locals: stores to it cannot then alias its bounds.
  float* stored = us.data();
  size_t room = us.size();
  size_t draws = 0;
  const auto keep_draw = [&](float u) {
    if (draws == room) {
      us.resize(2 * draws + 256);
      stored = us.data();
      room = us.size();
    }
    stored[draws] = u;
    draws += buckets ? buckets[int64_t(u * scale)] : 1;  // below n for u < 1 (see SampleFilter)
  };
  uint32_t state = Lcg32::step(generator.state);
  float u = Lcg32::unit(state) * incr;
  while (u < 1.0f) {
    keep_draw(u);
    const uint32_t first = Lcg32::step(state), second = Lcg32::two_steps(state);
    u += Lcg32::unit(first) * incr;
    if (!(u < 1.0f)) {
      state = first;
      break;
    }
    keep_draw(u);
    u += Lcg32::unit(second) * incr;
    state = second;
  }
  generator.state = state;
  if (picked.size() < count + draws) picked.resize(count + draws);
  size_t i = 0;
  for (size_t k = 0; k < draws; k++) {
    i = next_sample(cdf, guide, i, us[k]);
    picked[count] = int32_t(i);
    count += keep(i) ? 1 : 0;
  }
  return count;
}

// The pairing buffers of this thread, kept between steps so that a step
// allocates and clears nothing once the first steps have sized them.
struct PairingBuffers {
  std::vector<float> us;
  std::vector<int32_t> picked;
  std::vector<PairSlot> samples;
};
PairingBuffers& pairing_buffers() {
  thread_local PairingBuffers buffers;
  return buffers;
}

// One direction of a pairing step: samples drawn on mesh S are searched in
// the tree of mesh T. Built on the stack per step; holds the step's frames.
class PairingPass {
 public:
  PairingPass(Aligner& a, bool direction)
      : a_(a), direction_(direction), S_(*a.slots[direction ? 1 : 0]), T_(*a.slots[direction ? 0 : 1]),
        frames_(*a.slots[0], *a.slots[1]) {}

  // False when a mesh lacks what pairing reads (then the pass adds nothing).
  bool ready() const { return has_pairing_data(S_) && has_pairing_data(T_); }

  // Draws the samples of both passes (geometric: every sample, or only
  // feature vertices when S has marks; colour, unless the variant is
  // geometric: samples of significant colour) into samples[samples_used ...]
  // (grown as needed), tagged with this pass, and advances samples_used.
  // Also prepares the searches: the
  // transforms of this step and T's adjacency tables, which the boundary
  // test then only reads, from any thread.
  void draw(float incr, Lcg32& gen, std::vector<PairSlot>& samples, size_t& samples_used) {
    const PoseMatrix S2T = inverse(T_.pose) * S_.pose;
    S2T_ = PointMapper(S2T);
    S2T_normals_ = DirectionMapper(normal_matrix(S2T));
    TriMesh& tmesh = *T_.mesh;
    tmesh.need_neighbors();
    tmesh.need_vertex_faces();
    boundary_ = T_.boundary.size() == tmesh.vertices.size() ? T_.boundary.data() : nullptr;
    const bool color_pass =
        a_.mode != IcpMode::geometric && has_color_data(S_) && has_color_data(T_);
    if (color_pass) {
      s_records_ = color_records(S_, own_records_[0]);
      t_records_ = color_records(T_, own_records_[1]);
    }

    PairingBuffers& buffers = pairing_buffers();
    std::vector<int32_t>& picked = buffers.picked;
    const size_t n = S_.cdf.size();
    size_t count = 0;
    const std::vector<bool>& marks = S_.feature_marks;
    if (marks.empty()) {
      count = draw_pass(S_.cdf, S_.cdf_guide, nullptr, incr, gen, buffers.us, picked, count,
                        [](size_t) { return true; });
    } else {
      // A vertex beyond the marks counts as unmarked; the clamped read and
      // the & keep the test free of branches.
      const size_t last = marks.size() - 1;
      const SampleFilter& filter = S_.sample_filters[0];
      if (const uint8_t* buckets = filter.buckets(n)) {
        count = draw_pass(S_.cdf, S_.cdf_guide, buckets, incr, gen, buffers.us, picked, count,
                          [&filter](size_t v) { return filter.keeps(v); });
      } else {
        count = draw_pass(S_.cdf, S_.cdf_guide, nullptr, incr, gen, buffers.us, picked, count,
                          [&marks, last](size_t v) {
                            return (v <= last) & bool(marks[v <= last ? v : last]);
                          });
      }
    }
    const size_t geometric_count = count;
    if (color_pass) {
      const SampleFilter& filter = S_.sample_filters[1];
      const std::vector<int32_t>& significant = S_.significant_flags;
      if (const uint8_t* buckets = filter.buckets(n)) {
        count = draw_pass(S_.cdf, S_.cdf_guide, buckets, incr, gen, buffers.us, picked, count,
                          [&filter](size_t v) { return filter.keeps(v); });
      } else {
        count = draw_pass(S_.cdf, S_.cdf_guide, nullptr, incr, gen, buffers.us, picked, count,
                          [&significant](size_t v) { return significant[v] != 0; });
      }
    }
    const size_t first = samples_used;
    samples_used += count;
    if (samples.size() < samples_used) samples.resize(samples_used);
    for (size_t k = 0; k < count; k++) {
      PairSlot& slot = samples[first + k];
      slot.vertex = picked[k];
      slot.color = k >= geometric_count;
      slot.pass = this;
      slot.found = false;
    }
  }

  // Starts the reads of what search(slot) reads first about its sample,
  // so that they overlap the search before it.
  void prefetch(const PairSlot& slot) const {
    const size_t si = size_t(slot.vertex);
    __builtin_prefetch(&S_.mesh->vertices[si]);
    if (!slot.color) {
      __builtin_prefetch(&S_.mesh->normals[si]);
    } else {
      __builtin_prefetch(&s_records_[si]);
    }
  }

  // Searches one sample's match, a vertex of T (or none), into its slot.
  // The geometric pass matches on normals, the colour pass on colour and
  // colour-difference direction only.
  void search(PairSlot& slot) const {
    const TriMesh& smesh = *S_.mesh;
    TriMesh& tmesh = *T_.mesh;
    const size_t si = size_t(slot.vertex);
    const point p = S2T_(smesh.vertices[si]);
    const float d2max = a_.params.max_dist * a_.params.max_dist;
    const float* q;
    if (!slot.color) {
      NormCompat compat(S2T_normals_(smesh.normals[si]), &tmesh, a_.params.normal_dot_min, boundary_);
      q = T_.kdtree->find_nearest_with(p.data(), d2max, compat);
    } else {
      const ColorRecord& sample = s_records_[si];
      ColorCompat compat(sample.color, sample.dir, &tmesh, a_.params.color_dir_dot_min,
                         a_.params.color_l1_max, T_.color_dirs.data());
      compat.records = t_records_;
      q = T_.kdtree->find_nearest_with(p.data(), d2max, compat);
    }
    slot.match = q ? KDtree::index_of(q, tmesh.vertices) : -1;
  }

  // Starts the reads finish(slot) makes about the slot's match.
  void prefetch_match(const PairSlot& slot) const {
    const size_t j = size_t(slot.match);
    if (boundary_) __builtin_prefetch(boundary_ + j);
    __builtin_prefetch(&T_.mesh->normals[j]);
    __builtin_prefetch(&T_.mesh->vertices[j]);
  }

  // Pairs a searched sample with its match. A match on a boundary vertex
  // of T is dropped: its neighbourhood is cut off, so its nearest point is
  // likely not the same surface point.
  void finish(PairSlot& slot) const {
    const int j = slot.match;
    if (j < 0) return;
    if (boundary_ ? boundary_[j] != 0 : T_.mesh->is_boundary(j)) return;
    slot.found = direction_ ? frames_.make(j, slot.vertex, slot.pair)
                            : frames_.make(slot.vertex, j, slot.pair);
  }

 private:
  // The slot's colour records: those of the running alignment, or else
  // (a step outside an alignment) built into `own`.
  static const ColorRecord* color_records(const MeshSlot& slot, std::vector<ColorRecord>& own) {
    const size_t n = slot.mesh->vertices.size();
    if (slot.color_records.size() == n) return slot.color_records.data();
    build_color_records(slot.color_dirs, slot.mesh->colors, n, own);
    return own.data();
  }

  Aligner& a_;
  bool direction_;
  MeshSlot& S_;
  MeshSlot& T_;
  PairFrames frames_;
  PointMapper S2T_{PoseMatrix()};
  DirectionMapper S2T_normals_{PoseMatrix()};
  const uint8_t* boundary_ = nullptr;
  const ColorRecord* s_records_ = nullptr;  // S's and T's, set by draw for a colour pass
  const ColorRecord* t_records_ = nullptr;
  std::vector<ColorRecord> own_records_[2];
};

// Draws the samples of the given passes in order (the generator is stepped
// in a local copy and stored back), searches them all in one parallel loop,
// and appends the pairs in sample order.
void collect_pass_pairs(float incr, Lcg32& generator, std::initializer_list<PairingPass*> passes,
                        std::vector<PointPair>& pairs) {
  if (!(incr > 0.0f)) return;  // also guards the sampling walk against a NaN step
  Lcg32 gen = generator;
  std::vector<PairSlot>& samples = pairing_buffers().samples;
  size_t used = 0;
  for (PairingPass* pass : passes)
    if (pass->ready()) pass->draw(incr, gen, samples, used);
  generator = gen;
  // In chunks: the chunk's searches, then the pairs of their matches, whose
  // reads (of data the searches may not have touched) then overlap.
  const size_t chunks = (used + kSearchChunk - 1) / kSearchChunk;
  parallel_for(chunks, kMinSearchesPerThread / kSearchChunk, [&samples, used](size_t chunk) {
    const size_t begin = chunk * kSearchChunk;
    const size_t end = std::min(used, begin + kSearchChunk);
    for (size_t k = begin; k < end; k++) {
      if (k + 1 < used) samples[k + 1].pass->prefetch(samples[k + 1]);
      samples[k].pass->search(samples[k]);
    }
    for (size_t k = begin; k < end; k++)
      if (samples[k].match >= 0) samples[k].pass->prefetch_match(samples[k]);
    for (size_t k = begin; k < end; k++) samples[k].pass->finish(samples[k]);
  });
  for (size_t k = 0; k < used; k++)
    if (samples[k].found) pairs.push_back(samples[k].pair);
}

}  // namespace

void Aligner::collect_pairs(float incr, std::vector<PointPair>& pairs, bool direction) {
  PairingPass pass(*this, direction);
  collect_pass_pairs(incr, samples(), {&pass}, pairs);
}

void Aligner::collect_pairs_both(float incr, std::vector<PointPair>& pairs) {
  PairingPass forward(*this, false), backward(*this, true);
  collect_pass_pairs(incr, samples(), {&forward, &backward}, pairs);
}

void Aligner::update_overlap_weights() {
  Timer timer;
  MeshSlot& s1 = *slots[0];
  MeshSlot& s2 = *slots[1];
  if (!s1.mesh || !s2.mesh) return;
  s1.mesh->need_normals();
  s2.mesh->need_normals();
  if (s1.mesh->vertices.empty() || s2.mesh->vertices.empty()) {
    s1.weights.clear();
    s2.weights.clear();
    return;
  }
  const OccupancyGrid& g1 = slot_grid(s1);
  const OccupancyGrid& g2 = slot_grid(s2);
  const PoseMatrix M12 = inverse(s2.pose) * s1.pose;
  const PoseMatrix M21 = inverse(s1.pose) * s2.pose;
  if (params.max_dist <= 0.0f) {
    float cell1 = g1.scale > 0.0f ? 1.0f / g1.scale : 0.0f;
    float cell2 = g2.scale > 0.0f ? 1.0f / g2.scale : 0.0f;
    params.max_dist = std::min(cell1, cell2);
  }
  overlap_weights(s1, M12, s2, g2, params.use_grid, params.check_nearest, params.max_dist);
  overlap_weights(s2, M21, s1, g1, params.use_grid, params.check_nearest, params.max_dist);
  if (params.verbosity > 1) std::fprintf(console_stream(), "Computed overlaps in %.2f msec.\n", timer.elapsed_ms());
}

namespace {

// Below this many values a plain selection is as quick as the byte passes.
const size_t kMinByteSelection = 256;

// The float whose bit pattern is `bits`, and back.
inline float float_of(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}
inline uint32_t bits_of(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// The value of rank k (0-based, ascending; k < keys.size()) among the floats
// whose bit patterns `keys` holds; `keys` is left in any order. Floats that
// are not negative and not NaN order as their bit patterns do, so the rank
// is found one byte of the pattern at a time, highest first: count the
// values per byte value, keep the values of the byte that holds rank k (and
// that rank within them). Four counting passes, each over fewer values,
// instead of a selection whose comparisons no predictor learns; any other
// array (a negative, -0 or NaN value) takes that selection. Both give the
// same value: the rank's value is unique.
float select_rank(std::vector<uint32_t>& keys, size_t k) {
  const size_t n = keys.size();
  const auto rank_k = keys.begin() + ptrdiff_t(k);
  uint32_t unordered = 0;
  for (uint32_t key : keys) unordered |= uint32_t(key > 0x7f800000u);  // sign bit set or NaN
  if (unordered) {
    std::nth_element(keys.begin(), rank_k, keys.end(),
                     [](uint32_t a, uint32_t b) { return float_of(a) < float_of(b); });
    return float_of(*rank_k);
  }
  if (n < kMinByteSelection) {
    std::nth_element(keys.begin(), rank_k, keys.end());
    return float_of(*rank_k);
  }
  size_t count = n;
  for (int shift = 24; shift >= 0; shift -= 8) {
    // Four sets of counters taken in turn: runs of one byte value (most
    // distances share their high bytes) then do not wait on one counter.
    uint32_t counts[4][256] = {};
    for (size_t i = 0; i < count; i++) counts[i % 4][(keys[i] >> shift) & 255u]++;
    uint32_t byte = 0;
    size_t below = 0;
    for (;; byte++) {
      const size_t here = size_t(counts[0][byte]) + counts[1][byte] + counts[2][byte] + counts[3][byte];
      if (k < below + here) break;
      below += here;
    }
    k -= below;
    // Keep the values of that byte, in place and without a branch.
    size_t kept = 0;
    for (size_t i = 0; i < count; i++) {
      const uint32_t key = keys[i];
      keys[kept] = key;
      kept += size_t(((key >> shift) & 255u) == byte);
    }
    count = kept;
  }
  return float_of(keys[0]);  // every value left has the same pattern
}

}  // namespace

float Aligner::median_dist2(const std::vector<PointPair>& pairs) {
  if (pairs.empty()) return 0.0f;
  dist2_buffer.resize(pairs.size());
  for (size_t i = 0; i < pairs.size(); i++) dist2_buffer[i] = bits_of(dist2(pairs[i].p1, pairs[i].p2));
  return select_rank(dist2_buffer, pairs.size() / 2);
}

float Aligner::reject_pairs(std::vector<PointPair>& pairs, float factor) {
  Timer timer;
  float thresh = factor * median_dist2(pairs);
  size_t before = pairs.size();
  // remove_if keeps the surviving pairs in their original order.
  pairs.erase(std::remove_if(pairs.begin(), pairs.end(),
                             [thresh](const PointPair& p) { return dist2(p.p1, p.p2) > thresh; }),
              pairs.end());
  if (params.verbosity > 1)
    std::fprintf(console_stream(), "Rejected %zu pairs in %.2f msec.\n", before - pairs.size(),
                 timer.elapsed_ms());
  return thresh;
}

void Aligner::reset_cdfs() {
  for (auto& slot : slots) {
    if (!slot->mesh) continue;
    size_t n = slot->mesh->vertices.size();
    slot->cdf.resize(n);
    if (n == 0) continue;
    for (size_t i = 0; i + 1 < n; i++) slot->cdf[i] = float(i + 1) / float(n);
    slot->cdf[n - 1] = 1.0f;
    build_cdf_guide(slot->cdf, slot->cdf_guide);
    for (SampleFilter& filter : slot->sample_filters) filter.rebuild(slot->cdf_guide);
  }
}

bool Aligner::update_cdfs(const float evals[6], const float evecs[6][6], const point& centroid,
                          float scale) {
  Timer timer;
  // W = V diag(inv) V^T with the small eigenvalues floored: the inverse of
  // the system's information, so weakly constrained motions weigh most. A
  // non-positive floored eigenvalue carries no information and gets 0.
  float floor = params.eigen_ratio_min * evals[5];
  float inv[6];
  for (int k = 0; k < 6; k++) {
    float e = std::max(evals[k], floor);
    inv[k] = e > 0.0f ? 1.0f / e : 0.0f;
  }
  float W[6][6];
  for (int c = 0; c < 6; c++) {
    for (int r = 0; r < 6; r++) {
      float sum = 0.0f;
      for (int k = 0; k < 6; k++) sum += evecs[r][k] * inv[k] * evecs[c][k];
      W[r][c] = sum;
    }
  }

  for (auto& slot_ptr : slots) {
    MeshSlot& slot = *slot_ptr;
    if (!slot.mesh) continue;
    const TriMesh& mesh = *slot.mesh;
    size_t n = mesh.vertices.size();
    slot.cdf.resize(n);
    const DirectionMapper nmat(normal_matrix(slot.pose));
    const PointMapper pose(slot.pose);
    bool has_normals = mesh.normals.size() == n;
    // Each vertex's mass on its own; only the running sums are sequential.
    const size_t blocks = (n + kMassBlock - 1) / kMassBlock;
    parallel_for(blocks, kMinVerticesPerThread / kMassBlock, [&](size_t block) {
      const size_t begin = block * kMassBlock;
      const size_t end = std::min(n, begin + kMassBlock);
      // A block outside the overlap (every weight 0) has no mass, whatever
      // its positions: the same +0 the quadratic forms would give.
      if (!has_normals || !any_weight(slot.weights, begin, end)) {
        std::fill(slot.cdf.begin() + ptrdiff_t(begin), slot.cdf.begin() + ptrdiff_t(end), 0.0f);
        return;
      }
      sampling_mass(mesh, slot.weights, pose, nmat, centroid, scale, W, begin, end,
                    slot.cdf.data() + begin);
    });
    for (size_t i = 1; i < n; i++) slot.cdf[i] += slot.cdf[i - 1];
    float total = n ? slot.cdf[n - 1] : 0.0f;
    if (total == 0.0f) {
      if (params.verbosity != 0) std::fprintf(console_stream(), "No overlap.\n");
      return false;
    }
    parallel_for(n - 1, kMinVerticesPerThread, [&](size_t i) { slot.cdf[i] /= total; });
    slot.cdf[n - 1] = 1.0f;
    build_cdf_guide(slot.cdf, slot.cdf_guide);
    for (SampleFilter& filter : slot.sample_filters) filter.rebuild(slot.cdf_guide);
  }
  if (params.verbosity > 1) std::fprintf(console_stream(), "Updated CDFs in %.2f msec.\n", timer.elapsed_ms());
  return true;
}
