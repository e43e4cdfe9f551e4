// Definitions of the frame and tensor helpers of mesh/curvature_frames.h: a
// tensor fitted in a face's frame is carried to each corner vertex's frame by
// rotating the face frame onto the vertex normal and re-expressing it there.
#pragma once

#include <cmath>

#include "geometry/Vec.h"
#include "mesh/curvature_frames.h"

namespace curvature_frames {

template <class T>
void rotate_frame(const Vec3<T>& old_u, const Vec3<T>& old_v, const Vec3<T>& new_norm,
                  Vec3<T>& new_u, Vec3<T>& new_v) {
  const Vec3<T> old_norm = cross(old_u, old_v);
  const T ndot = dot(old_norm, new_norm);
  // Rotation taking old_norm to new_norm, applied to the tangent vectors
  // through the component along the perpendicular part of new_norm;
  // opposite normals flip both vectors instead.
  const auto opposite = ndot <= T(-1.0f);
  const Vec3<T> perp_old = new_norm - ndot * old_norm;
  const Vec3<T> dperp = T(1.0f) / (T(1.0f) + ndot) * (old_norm + new_norm);
  new_u = select(opposite, -old_u, old_u - dperp * dot(old_u, perp_old));
  new_v = select(opposite, -old_v, old_v - dperp * dot(old_v, perp_old));
}

// Coordinates of the rotated old frame's axes in the new frame.
template <class T>
struct FrameChange {
  T uu, uv, vu, vv;
};

template <class T>
FrameChange<T> change_of_frame(const Vec3<T>& old_u, const Vec3<T>& old_v, const Vec3<T>& new_u,
                               const Vec3<T>& new_v) {
  Vec3<T> r_u, r_v;
  rotate_frame(old_u, old_v, cross(new_u, new_v), r_u, r_v);
  return {dot(new_u, r_u), dot(new_u, r_v), dot(new_v, r_u), dot(new_v, r_v)};
}

template <class T>
void project_curvature(const Vec3<T>& old_u, const Vec3<T>& old_v, T old_ku, T old_kuv, T old_kv,
                       const Vec3<T>& new_u, const Vec3<T>& new_v, T& new_ku, T& new_kuv,
                       T& new_kv) {
  const FrameChange<T> f = change_of_frame(old_u, old_v, new_u, new_v);
  new_ku = old_ku * f.uu * f.uu + old_kuv * (T(2.0f) * f.uu * f.uv) + old_kv * f.uv * f.uv;
  new_kuv = old_ku * f.uu * f.vu + old_kuv * (f.uu * f.vv + f.vu * f.uv) + old_kv * f.uv * f.vv;
  new_kv = old_ku * f.vu * f.vu + old_kuv * (T(2.0f) * f.vu * f.vv) + old_kv * f.vv * f.vv;
}

template <class T>
void project_curvature_derivative(const Vec3<T>& old_u, const Vec3<T>& old_v, const T old_dcurv[4],
                                  const Vec3<T>& new_u, const Vec3<T>& new_v, T new_dcurv[4]) {
  const FrameChange<T> f = change_of_frame(old_u, old_v, new_u, new_v);
  const T uu = f.uu, uv = f.uv, vu = f.vu, vv = f.vv;
  const T a = old_dcurv[0], b = old_dcurv[1], c = old_dcurv[2], d = old_dcurv[3];
  const T three(3.0f), two(2.0f);
  new_dcurv[0] = uu * uu * uu * a + three * uu * uu * uv * b + three * uu * uv * uv * c + uv * uv * uv * d;
  new_dcurv[1] = uu * uu * vu * a + (two * uu * uv * vu + uu * uu * vv) * b +
                 (two * uu * uv * vv + uv * uv * vu) * c + uv * uv * vv * d;
  new_dcurv[2] = uu * vu * vu * a + (two * uu * vu * vv + uv * vu * vu) * b +
                 (uu * vv * vv + two * uv * vu * vv) * c + uv * vv * vv * d;
  new_dcurv[3] = vu * vu * vu * a + three * vu * vu * vv * b + three * vu * vv * vv * c + vv * vv * vv * d;
}

}  // namespace curvature_frames

inline void principal_directions(const point& old_u, const point& old_v, float ku, float kuv,
                                 float kv, const point& new_norm, point& pdir1, point& pdir2,
                                 float& k1, float& k2) {
  point r_u, r_v;
  curvature_frames::rotate_frame(old_u, old_v, new_norm, r_u, r_v);

  // One Jacobi rotation diagonalises the 2 x 2 form; tt is the tangent of
  // its angle, taken as the smaller root for stability.
  float c = 1.0f, s = 0.0f, tt = 0.0f;
  if (kuv != 0.0f) {
    float h = 0.5f * (kv - ku) / kuv;
    tt = (h < 0.0f) ? 1.0f / (h - std::sqrt(1.0f + h * h)) : 1.0f / (h + std::sqrt(1.0f + h * h));
    c = 1.0f / std::sqrt(1.0f + tt * tt);
    s = tt * c;
  }
  k1 = ku - tt * kuv;
  k2 = kv + tt * kuv;
  if (std::fabs(k1) >= std::fabs(k2)) {
    pdir1 = c * r_u - s * r_v;
  } else {
    float t = k1;
    k1 = k2;
    k2 = t;
    pdir1 = s * r_u + c * r_v;
  }
  pdir2 = cross(new_norm, pdir1);
}
