// The per-face least-squares fits of the curvature passes, written once
// over Vec3<T>: T = float fits one face, T = Float4 fits four faces in
// vector lanes with the same operations in the same order, so every lane
// gives the single face's bits. The caller gathers each face's corner data
// (corner j of face f is vertex f[j]) and adds the results to the corners'
// sums in face order.
#pragma once

#include "geometry/Vec.h"
#include "geometry/dense_solvers.h"
#include "mesh/curvature_frames.h"

namespace curvature_fits {

// A face's edges from its corner positions p, edge j opposite corner j:
// e0 = p2 - p1, e1 = p0 - p2, e2 = p1 - p0.
template <class T>
void face_edges(const Vec3<T> p[3], Vec3<T> e[3]) {
  e[0] = p[2] - p[1];
  e[1] = p[0] - p[2];
  e[2] = p[1] - p[0];
}

// A face's edges (face_edges) and its frame (t, b): t along e0, b in the
// face plane perpendicular to it.
template <class T>
struct FaceFrame {
  Vec3<T> e[3];
  Vec3<T> t, b;
};

template <class T>
FaceFrame<T> face_frame(const Vec3<T> p[3]) {
  FaceFrame<T> f;
  face_edges(p, f.e);
  f.t = normalized(f.e[0]);
  f.b = normalized(cross(cross(f.e[0], f.e[1]), f.t));
  return f;
}

// The second fundamental form of a face with corner positions p and vertex
// normals n: along each edge, the change of normal should be the form
// times the edge. Fitted in the face frame, then re-expressed in each
// corner's frame (pd1[j], pd2[j]): form[j] = (ku, kuv, kv). False (per lane)
// where the fit's matrix is not positive definite: the face then adds
// nothing.
template <class T>
auto curvature_fit(const Vec3<T> p[3], const Vec3<T> n[3], const Vec3<T> pd1[3], const Vec3<T> pd2[3],
                   T form[3][3]) -> decltype(T() > T()) {
  const FaceFrame<T> f = face_frame(p);
  const T zero(0.0f);
  T m[3] = {zero, zero, zero};
  T w[3][3] = {{zero, zero, zero}, {zero, zero, zero}, {zero, zero, zero}};
  for (int j = 0; j < 3; j++) {
    const T u = dot(f.e[j], f.t);
    const T v = dot(f.e[j], f.b);
    w[0][0] = w[0][0] + u * u;
    w[0][1] = w[0][1] + u * v;
    w[2][2] = w[2][2] + v * v;
    const Vec3<T> dn = n[(j + 2) % 3] - n[(j + 1) % 3];
    const T dnu = dot(dn, f.t);
    const T dnv = dot(dn, f.b);
    m[0] = m[0] + dnu * u;
    m[1] = m[1] + (dnu * v + dnv * u);
    m[2] = m[2] + dnv * v;
  }
  w[1][1] = w[0][0] + w[2][2];
  w[1][2] = w[0][1];
  w[1][0] = w[0][1];
  w[2][1] = w[0][1];
  T rdiag[3];
  const auto ok = ldlt_decompose<3>(w, rdiag);
  ldlt_solve<3>(w, rdiag, m, m);
  for (int j = 0; j < 3; j++)
    curvature_frames::project_curvature(f.t, f.b, m[0], m[1], m[2], pd1[j], pd2[j], form[j][0],
                                               form[j][1], form[j][2]);
  return ok;
}

// The derivative of the curvature tensor over a face whose corners carry
// principal frames (pd1, pd2) and curvatures (k1, k2): each corner's tensor
// is re-expressed in the face frame, the derivative (a, b, c, d) fitted to
// the tensor's change along the edges, and carried back to each corner's
// frame: out[j]. False (per lane) where the fit's matrix is not positive
// definite: the face then adds nothing.
template <class T>
auto dcurv_fit(const Vec3<T> p[3], const Vec3<T> pd1[3], const Vec3<T> pd2[3], const T k1[3],
               const T k2[3], T out[3][4]) -> decltype(T() > T()) {
  const FaceFrame<T> f = face_frame(p);
  const T zero(0.0f), two(2.0f);
  T fcurv[3][3];
  for (int j = 0; j < 3; j++)
    curvature_frames::project_curvature(pd1[j], pd2[j], k1[j], zero, k2[j], f.t, f.b, fcurv[j][0],
                                               fcurv[j][1], fcurv[j][2]);
  T m[4] = {zero, zero, zero, zero};
  T w00 = zero, w01 = zero, w11 = zero;
  for (int j = 0; j < 3; j++) {
    const T u = dot(f.e[j], f.t);
    const T v = dot(f.e[j], f.b);
    w00 = w00 + u * u;
    w01 = w01 + u * v;
    w11 = w11 + v * v;
    const T* hi = fcurv[(j + 2) % 3];
    const T* lo = fcurv[(j + 1) % 3];
    const T d0 = hi[0] - lo[0], d1 = hi[1] - lo[1], d2 = hi[2] - lo[2];
    m[0] = m[0] + d0 * u;
    m[1] = m[1] + (two * d1 * u + d0 * v);
    m[2] = m[2] + (two * d1 * v + d2 * u);
    m[3] = m[3] + d2 * v;
  }
  T w[4][4] = {{w00, w01, zero, zero},
               {w01, two * w00 + w11, two * w01, zero},
               {zero, two * w01, w00 + two * w11, w01},
               {zero, zero, w01, w11}};
  T rdiag[4];
  const auto ok = ldlt_decompose<4>(w, rdiag);
  ldlt_solve<4>(w, rdiag, m, m);
  for (int j = 0; j < 3; j++)
    curvature_frames::project_curvature_derivative(f.t, f.b, m, pd1[j], pd2[j], out[j]);
  return ok;
}

}  // namespace curvature_fits
