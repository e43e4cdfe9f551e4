// The two ICP solver steps. Point-to-point linearises the rotation about the
// pair centroids (a 3 x 3 system, used while the meshes are far apart);
// point-to-plane follows Chen and Medioni's error with the small-angle
// linearisation, solved through the eigen-decomposition of its 6 x 6 normal
// matrix so that poorly determined motions can be damped to zero.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <experimental/simd>

#include "geometry/console.h"
#include "geometry/dense_solvers.h"
#include "registration/Aligner.h"
#include "registration/icp_steps.h"
#include "registration/timer.h"

namespace {

// Below this the sampling step would ask for hundreds of thousands of samples;
// it is then reset to a dense but bounded step.
const float kIncrFloor = 0.0001f;
const float kIncrReset = 0.001f;

// The pairing radius after an accepted step: at most halved, never below the
// rejection distance.
float tightened_radius(float max_dist, float thresh) {
  float half = 0.5f * max_dist;
  float reject = std::sqrt(thresh);
  return half > reject ? half : reject;
}

inline float clamp_sine(float s) { return std::max(-1.0f, std::min(1.0f, s)); }

// Stores the step's RMS error in the running variant's record and appends it
// to that variant's history; outside an alignment nothing is recorded.
void record_error(Aligner& a, float rms) {
  if (VariantRecord* record = a.active_record()) {
    record->error = rms;
    record->history.push_back(rms);
  }
}

}  // namespace

float Aligner::gather_pairs(float incr, bool collect, float reject_factor, const Timer& step_timer) {
  std::vector<PointPair>& pairs = pair_buffer;
  pairs.clear();
  if (collect) {
    collect_pairs_both(incr, pairs);
  }
  if (params.verbosity > 1)
    std::fprintf(console_stream(), "Generated %zu pairs in %.2f msec.\n", pairs.size(), step_timer.elapsed_ms());
  return reject_pairs(pairs, reject_factor);
}

bool Aligner::step_point_to_point(float& incr, bool translate_only) {
  Timer timer;
  const std::vector<PointPair>& pairs = pair_buffer;
  float thresh = gather_pairs(incr, true, kPointRejectFactor, timer);
  size_t n = pairs.size();
  size_t needed = translate_only ? 1 : size_t(std::max(params.min_pairs, 0));
  if (n < needed || n == 0) {
    if (params.verbosity != 0) std::fprintf(console_stream(), "Too few point pairs1.\n");
    return true;
  }
  incr = incr * float(n) / float(params.pairs_point);
  params.max_dist = tightened_radius(params.max_dist, thresh);

  point c1, c2;
  for (const PointPair& p : pairs) {
    c1 += p.p1;
    c2 += p.p2;
  }
  c1 /= float(n);
  c2 /= float(n);

  // Linearised rotation about the centroids: A r = b with
  // A = sum(|q|^2 I - q q^T), b = sum(q x e), accumulated in double.
  double E = 0.0, b[3] = {0, 0, 0}, A[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  for (const PointPair& p : pairs) {
    point e = p.p1 - p.p2;
    point q = p.p2 - c2;
    double qx = q.x, qy = q.y, qz = q.z;
    E += double(len2(e));
    point qe = cross(q, e);
    b[0] += qe.x;
    b[1] += qe.y;
    b[2] += qe.z;
    A[0][0] += qy * qy + qz * qz;
    A[0][1] -= qx * qy;
    A[0][2] -= qx * qz;
    A[1][1] += qx * qx + qz * qz;
    A[1][2] -= qy * qz;
    A[2][2] += qx * qx + qy * qy;
  }
  float rms = float(std::sqrt(E / double(n)));
  record_error(*this, rms);
  if (params.verbosity > 1) std::fprintf(console_stream(), "RMS point-to-point error = %f\n", rms);

  PoseMatrix motion = translation(c1 - c2);
  double r[3];
  if (!translate_only && ldlt_solve3(A, b, r)) {
    motion = translation(c1) * rotation(r[0], 1.0, 0.0, 0.0) * rotation(r[1], 0.0, 1.0, 0.0) *
             rotation(r[2], 0.0, 0.0, 1.0) * translation(-c2);
  }
  slots[1]->pose = motion * slots[1]->pose;
  if (params.verbosity > 1) std::fprintf(console_stream(), "Computed xform in %.2f msec.\n", timer.elapsed_ms());
  return true;
}

bool Aligner::step_point_to_plane(float& incr, bool refresh_cdfs) {
  Timer timer;
  const std::vector<PointPair>& pairs = pair_buffer;
  float thresh = gather_pairs(incr, mode != IcpMode::none, kPlaneRejectFactor, timer);
  size_t n = pairs.size();
  if (n < size_t(std::max(params.min_pairs, 0)) || n == 0) {
    if (params.verbosity != 0) std::fprintf(console_stream(), "Too few point pairs2.\n");
    return true;
  }

  // Centroid and scale of mesh 2's points; the scale makes the rotational and
  // translational unknowns comparable. Pairs that all share one point of mesh
  // 2 give no scale (and no rotation to solve for): the step is skipped.
  point c;
  for (const PointPair& p : pairs) c += p.p2;
  c /= float(n);
  float spread = 0.0f;
  for (const PointPair& p : pairs) spread += dist2(p.p2, c);
  float s = 1.0f / std::sqrt(spread / float(n));
  if (!std::isfinite(s)) return true;

  incr = incr * float(n) / float(params.pairs_plane);
  if (incr < kIncrFloor) incr = kIncrReset;
  params.max_dist = tightened_radius(params.max_dist, thresh);

  // A = sum(v v^T) and b = sum(v d) with v = ((p2 - c) s x n, n): each row
  // of A and b in eight lanes (two unused), so a pair costs seven vector
  // products and sums instead of 42 scalar ones. Every entry's sum takes
  // the pairs in order, as a scalar loop would.
  using Lanes8 = std::experimental::fixed_size_simd<float, 8>;
  Lanes8 rows[6], rhs(0.0f);
  for (Lanes8& row : rows) row = 0.0f;
  float E = 0.0f;
  for (const PointPair& p : pairs) {
    const point& nrm = p.normal1;
    float d = dot(p.p1 - p.p2, nrm) * s;
    point q = (p.p2 - c) * s;
    point qn = cross(q, nrm);
    const float v[8] = {qn.x, qn.y, qn.z, nrm.x, nrm.y, nrm.z, 0.0f, 0.0f};
    const Lanes8 vs(v, std::experimental::element_aligned);
    for (int r = 0; r < 6; r++) rows[r] += Lanes8(v[r]) * vs;
    rhs += vs * Lanes8(d);
    E += d * d;
  }
  float A[6][6], b[6];
  for (int r = 0; r < 6; r++) {
    for (int k = 0; k < 6; k++) A[r][k] = rows[r][k];
    b[r] = rhs[r];
  }
  float rms = std::sqrt(E / float(n)) / s;
  record_error(*this, rms);

  float evals[6], evecs[6][6];
  eigen_symmetric6(A, evals, evecs);
  if (params.verbosity > 1) {
    std::fprintf(console_stream(), "RMS point-to-plane error = %f\n", rms);
    for (int k = 0; k < 5; k++)
      if (evals[k] < params.eigen_ratio_min * evals[5])
        std::fprintf(console_stream(), "Small eigenvalue %f (largest is %f)\n", evals[k], evals[5]);
  }
  float x[6];
  damped_solve6(evals, evecs, b, params.eigen_ratio_min, x);

  // Rx(a) Ry(b) Rz(g) from the solved sines; a sine beyond 1 becomes a quarter turn.
  double sa = clamp_sine(x[0]), sb = clamp_sine(x[1]), sg = clamp_sine(x[2]);
  double ca = std::sqrt(1.0 - sa * sa), cb = std::sqrt(1.0 - sb * sb), cg = std::sqrt(1.0 - sg * sg);
  double R[3][3] = {{cb * cg, -cb * sg, sb},
                    {sa * sb * cg + ca * sg, ca * cg - sa * sb * sg, -sa * cb},
                    {sa * sg - ca * sb * cg, sa * cg + ca * sb * sg, ca * cb}};
  PoseMatrix motion;
  for (int r = 0; r < 3; r++) {
    double rc = R[r][0] * c.x + R[r][1] * c.y + R[r][2] * c.z;
    for (int k = 0; k < 3; k++) motion.at(r, k) = R[r][k];
    motion.at(r, 3) = double(x[3 + r]) / double(s) + double(c[r]) - rc;
  }
  slots[1]->pose = motion * slots[1]->pose;
  if (params.verbosity > 1) std::fprintf(console_stream(), "Computed xform in %.2f msec.\n", timer.elapsed_ms());

  if (refresh_cdfs && !update_cdfs(evals, evecs, c, s)) return false;
  return true;
}
