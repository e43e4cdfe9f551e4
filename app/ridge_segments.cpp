#include "app/ridge_segments.h"

#include <algorithm>
#include <cmath>

namespace {

struct FaceData {
  const TriMesh& mesh;
  float threshold;
  std::vector<point>& out;
};

// One segment from the zero crossing of e on edge u-v to the crossing on edge
// v-w (or to the centroid of u, v, w). Dropped when an end's weights are
// undefined (e = 0 at both corners) or both ends are weaker than the threshold.
void emit_segment(FaceData& f, int u, int v, int w, bool to_centre) {
  const TriMesh& m = f.mesh;
  float eu = std::fabs(m.dcurv[u][0]), ev = std::fabs(m.dcurv[v][0]);
  float ku = m.principal_curv1[u], kv = m.principal_curv1[v], kw = m.principal_curv1[w];
  if (!(eu + ev > 0.0f)) return;
  float w10 = eu / (eu + ev), w01 = 1.0f - w10;
  point p1 = w01 * m.vertices[u] + w10 * m.vertices[v];
  float k1 = std::fabs(w01 * ku + w10 * kv);
  point p2;
  float k2;
  if (to_centre) {
    p2 = (m.vertices[u] + m.vertices[v] + m.vertices[w]) / 3.0f;
    k2 = std::fabs(ku + kv + kw) / 3.0f;
  } else {
    float ew = std::fabs(m.dcurv[w][0]);
    if (!(ev + ew > 0.0f)) return;
    float w21 = ev / (ev + ew), w12 = 1.0f - w21;
    p2 = w12 * m.vertices[v] + w21 * m.vertices[w];
    k2 = std::fabs(w12 * kv + w21 * kw);
  }
  k1 = std::max(k1 - f.threshold, 0.0f);
  k2 = std::max(k2 - f.threshold, 0.0f);
  if (k1 == 0.0f && k2 == 0.0f) return;
  f.out.push_back(p1);
  f.out.push_back(p2);
}

void face_test(FaceData& f, const float* ndotv, float s, int a, int b, int c) {
  const TriMesh& m = f.mesh;
  if (ndotv && ndotv[a] <= 0.0f && ndotv[b] <= 0.0f && ndotv[c] <= 0.0f) return;
  float ka = m.principal_curv1[a], kb = m.principal_curv1[b], kc = m.principal_curv1[c];
  if (s > 0.0f ? !(ka > 0.0f && kb > 0.0f && kc > 0.0f) : !(ka < 0.0f && kb < 0.0f && kc < 0.0f))
    return;
  // Direction in which k grows (ridges) or shrinks (valleys) at each corner.
  point ta = (s * m.dcurv[a][0]) * m.principal_dir1[a];
  point tb = (s * m.dcurv[b][0]) * m.principal_dir1[b];
  point tc = (s * m.dcurv[c][0]) * m.principal_dir1[c];
  bool z_ab = dot(ta, tb) <= 0.0f, z_bc = dot(tb, tc) <= 0.0f, z_ca = dot(tc, ta) <= 0.0f;
  if (int(z_ab) + int(z_bc) + int(z_ca) < 2) return;
  // Keep only crossings that are maxima of k along t, not minima.
  const point& pa = m.vertices[a];
  const point& pb = m.vertices[b];
  const point& pc = m.vertices[c];
  if (z_ab) z_ab = dot(ta, pb - pa) >= 0.0f || dot(tb, pb - pa) <= 0.0f;
  if (z_bc) z_bc = dot(tb, pc - pb) >= 0.0f || dot(tc, pc - pb) <= 0.0f;
  if (z_ca) z_ca = dot(tc, pa - pc) >= 0.0f || dot(ta, pa - pc) <= 0.0f;
  if (int(z_ab) + int(z_bc) + int(z_ca) < 2) return;
  if (!z_ab) {
    emit_segment(f, b, c, a, false);
  } else if (!z_bc) {
    emit_segment(f, c, a, b, false);
  } else if (!z_ca) {
    emit_segment(f, a, b, c, false);
  } else {
    emit_segment(f, b, c, a, true);
    emit_segment(f, c, a, b, true);
    emit_segment(f, a, b, c, true);
  }
}

}  // namespace

void append_ridge_segments(const TriMesh& mesh, const float* ndotv, RidgeKind kind,
                           float threshold, std::vector<point>& line_points) {
  const size_t n = mesh.vertices.size();
  if (mesh.principal_curv1.size() != n || mesh.principal_dir1.size() != n ||
      mesh.dcurv.size() != n)
    return;
  FaceData f{mesh, threshold, line_points};
  const float s = kind == RidgeKind::kRidge ? 1.0f : -1.0f;
  const std::vector<int32_t>& strips = mesh.tristrips;
  size_t i = 0;
  while (i < strips.size()) {
    int32_t len_strip = strips[i++];
    if (len_strip < 0 || size_t(len_strip) > strips.size() - i) break;  // malformed stream
    const int32_t* idx = strips.data() + i;
    for (int32_t j = 2; j < len_strip; j++) face_test(f, ndotv, s, idx[j - 2], idx[j - 1], idx[j]);
    i += size_t(len_strip);
  }
}
