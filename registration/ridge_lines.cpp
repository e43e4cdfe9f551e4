// Ridge and valley tracing in the manner of apparent-ridge / crest-line
// extraction on meshes: an extremum of k along its principal direction lies
// where e = dk/d(dir1) changes sign, so each face edge whose corner values of
// e * dir1 point against each other carries one end of a line segment.
#include "registration/ridge_lines.h"

#include <algorithm>
#include <cmath>

namespace {

bool has_curvature_data(const TriMesh& mesh) {
  size_t n = mesh.vertices.size();
  return mesh.principal_curv1.size() == n && mesh.principal_dir1.size() == n &&
         mesh.dcurv.size() == n;
}

// Emits the segment from edge u-v to edge v-w (or to the centroid of u, v, w).
// False when it is dropped (undefined end weights or too weak).
bool make_segment(const TriMesh& mesh, int u, int v, int w, bool to_centre, float threshold,
                  RidgeSegment& seg) {
  const point& Pu = mesh.vertices[size_t(u)];
  const point& Pv = mesh.vertices[size_t(v)];
  const point& Pw = mesh.vertices[size_t(w)];
  float eu = std::fabs(mesh.dcurv[size_t(u)][0]);
  float ev = std::fabs(mesh.dcurv[size_t(v)][0]);
  float ew = std::fabs(mesh.dcurv[size_t(w)][0]);
  float ku = mesh.principal_curv1[size_t(u)];
  float kv = mesh.principal_curv1[size_t(v)];
  float kw = mesh.principal_curv1[size_t(w)];

  // Both e values 0 on the carrying edge: the crossing is undefined (0 / 0).
  if (!(eu + ev > 0.0f)) return false;
  float w10 = eu / (eu + ev), w01 = 1.0f - w10;
  seg.p1 = w01 * Pu + w10 * Pv;
  float k1 = std::fabs(w01 * ku + w10 * kv);

  float k2, w21 = 0.0f, w12 = 0.0f;
  if (to_centre) {
    seg.p2 = (Pu + Pv + Pw) / 3.0f;
    k2 = std::fabs(ku + kv + kw) / 3.0f;
  } else {
    if (!(ev + ew > 0.0f)) return false;
    w21 = ev / (ev + ew);
    w12 = 1.0f - w21;
    seg.p2 = w12 * Pv + w21 * Pw;
    k2 = std::fabs(w12 * kv + w21 * kw);
  }
  k1 = std::max(k1 - threshold, 0.0f);
  k2 = std::max(k2 - threshold, 0.0f);
  if (k1 == 0.0f && k2 == 0.0f) return false;

  seg.near1 = w10 < w01 ? u : v;
  seg.near2 = to_centre ? -1 : (w21 < w12 ? v : w);
  return true;
}

}  // namespace

float ridge_curvature_threshold(float ridge_threshold, float curvature_scale) {
  float t = ridge_threshold / curvature_scale;
  return std::isnan(t) ? 0.0f : t;
}

int ridge_face_segments(const TriMesh& mesh, int a, int b, int c, RidgeKind kind,
                        float threshold, const float* ndotv, RidgeSegment out[3]) {
  if (ndotv && ndotv[a] <= 0.0f && ndotv[b] <= 0.0f && ndotv[c] <= 0.0f) return 0;

  float ka = mesh.principal_curv1[size_t(a)];
  float kb = mesh.principal_curv1[size_t(b)];
  float kc = mesh.principal_curv1[size_t(c)];
  if (kind == RidgeKind::ridge) {
    if (!(ka > 0.0f && kb > 0.0f && kc > 0.0f)) return 0;
  } else {
    if (!(ka < 0.0f && kb < 0.0f && kc < 0.0f)) return 0;
  }

  // The direction in which k grows (ridges) or shrinks (valleys).
  float s = kind == RidgeKind::ridge ? 1.0f : -1.0f;
  point ta = (s * mesh.dcurv[size_t(a)][0]) * mesh.principal_dir1[size_t(a)];
  point tb = (s * mesh.dcurv[size_t(b)][0]) * mesh.principal_dir1[size_t(b)];
  point tc = (s * mesh.dcurv[size_t(c)][0]) * mesh.principal_dir1[size_t(c)];

  bool z_ab = dot(ta, tb) <= 0.0f;
  bool z_bc = dot(tb, tc) <= 0.0f;
  bool z_ca = dot(tc, ta) <= 0.0f;
  if (int(z_ab) + int(z_bc) + int(z_ca) < 2) return 0;

  // Extremum test: along the edge the growth directions must meet (a
  // maximum), not part (a minimum).
  const point& Pa = mesh.vertices[size_t(a)];
  const point& Pb = mesh.vertices[size_t(b)];
  const point& Pc = mesh.vertices[size_t(c)];
  if (z_ab) z_ab = dot(ta, Pb - Pa) >= 0.0f || dot(tb, Pb - Pa) <= 0.0f;
  if (z_bc) z_bc = dot(tb, Pc - Pb) >= 0.0f || dot(tc, Pc - Pb) <= 0.0f;
  if (z_ca) z_ca = dot(tc, Pa - Pc) >= 0.0f || dot(ta, Pa - Pc) <= 0.0f;
  if (int(z_ab) + int(z_bc) + int(z_ca) < 2) return 0;

  int count = 0;
  if (!z_ab) {
    count += make_segment(mesh, b, c, a, false, threshold, out[count]);
  } else if (!z_bc) {
    count += make_segment(mesh, c, a, b, false, threshold, out[count]);
  } else if (!z_ca) {
    count += make_segment(mesh, a, b, c, false, threshold, out[count]);
  } else {
    count += make_segment(mesh, b, c, a, true, threshold, out[count]);
    count += make_segment(mesh, c, a, b, true, threshold, out[count]);
    count += make_segment(mesh, a, b, c, true, threshold, out[count]);
  }
  return count;
}

void trace_ridge_lines(const TriMesh& mesh, RidgeKind kind, float threshold,
                       const float* ndotv, std::vector<RidgeSegment>& out) {
  if (!has_curvature_data(mesh)) return;
  const std::vector<int32_t>& strips = mesh.tristrips;
  const int32_t nverts = int32_t(mesh.vertices.size());
  RidgeSegment segs[3];
  size_t pos = 0;
  // Length-prefixed strips; a length that runs past the stream ends the walk.
  while (pos < strips.size()) {
    int32_t length = strips[pos++];
    if (length < 0 || size_t(length) > strips.size() - pos) break;
    for (int32_t t = 0; t + 2 < length; t++) {
      int32_t a = strips[pos + size_t(t)], b = strips[pos + size_t(t) + 1],
              c = strips[pos + size_t(t) + 2];
      if (a < 0 || b < 0 || c < 0 || a >= nverts || b >= nverts || c >= nverts) continue;
      int count = ridge_face_segments(mesh, a, b, c, kind, threshold, ndotv, segs);
      for (int i = 0; i < count; i++) out.push_back(segs[i]);
    }
    pos += size_t(length);
  }
}

void mark_ridge_vertices(MeshSlot& slot, float ridge_threshold, bool ridges, bool valleys) {
  if (!slot.mesh || slot.feature_marks.size() != slot.mesh->vertices.size()) return;
  float threshold = ridge_curvature_threshold(ridge_threshold, slot.curvature_scale);
  std::vector<RidgeSegment> segments;
  if (ridges) trace_ridge_lines(*slot.mesh, RidgeKind::ridge, threshold, nullptr, segments);
  if (valleys) trace_ridge_lines(*slot.mesh, RidgeKind::valley, threshold, nullptr, segments);
  for (const RidgeSegment& seg : segments) {
    if (seg.near1 >= 0) slot.feature_marks[size_t(seg.near1)] = true;
    if (seg.near2 >= 0) slot.feature_marks[size_t(seg.near2)] = true;
  }
}
