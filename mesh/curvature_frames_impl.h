// Frame and tensor helpers for the per-face curvature fits: a tensor fitted
// in a face's frame is carried to each corner vertex's frame by rotating the
// face frame onto the vertex normal and re-expressing the tensor there.
#pragma once

#include <cmath>

#include "mesh/curvature_frames.h"

inline void rotate_frame(const point& old_u, const point& old_v, const point& new_norm,
                         point& new_u, point& new_v) {
  new_u = old_u;
  new_v = old_v;
  point old_norm = cross(old_u, old_v);
  float ndot = dot(old_norm, new_norm);
  if (ndot <= -1.0f) {
    new_u = -new_u;
    new_v = -new_v;
    return;
  }
  // Rotation taking old_norm to new_norm, applied to the tangent vectors
  // through the component along the perpendicular part of new_norm.
  point perp_old = new_norm - ndot * old_norm;
  point dperp = 1.0f / (1.0f + ndot) * (old_norm + new_norm);
  new_u -= dperp * dot(new_u, perp_old);
  new_v -= dperp * dot(new_v, perp_old);
}

namespace curvature_frames_detail {

// Coordinates of the rotated old frame's axes in the new frame.
struct FrameChange {
  float uu, uv, vu, vv;
};

inline FrameChange change_of_frame(const point& old_u, const point& old_v, const point& new_u,
                                   const point& new_v) {
  point r_u, r_v;
  rotate_frame(old_u, old_v, cross(new_u, new_v), r_u, r_v);
  return {dot(new_u, r_u), dot(new_u, r_v), dot(new_v, r_u), dot(new_v, r_v)};
}

}  // namespace curvature_frames_detail

inline void project_curvature(const point& old_u, const point& old_v, float old_ku, float old_kuv,
                              float old_kv, const point& new_u, const point& new_v, float& new_ku,
                              float& new_kuv, float& new_kv) {
  const curvature_frames_detail::FrameChange f =
      curvature_frames_detail::change_of_frame(old_u, old_v, new_u, new_v);
  new_ku = old_ku * f.uu * f.uu + old_kuv * (2.0f * f.uu * f.uv) + old_kv * f.uv * f.uv;
  new_kuv = old_ku * f.uu * f.vu + old_kuv * (f.uu * f.vv + f.vu * f.uv) + old_kv * f.uv * f.vv;
  new_kv = old_ku * f.vu * f.vu + old_kuv * (2.0f * f.vu * f.vv) + old_kv * f.vv * f.vv;
}

inline void project_curvature_derivative(const point& old_u, const point& old_v,
                                         const float old_dcurv[4], const point& new_u,
                                         const point& new_v, float new_dcurv[4]) {
  const curvature_frames_detail::FrameChange f =
      curvature_frames_detail::change_of_frame(old_u, old_v, new_u, new_v);
  const float uu = f.uu, uv = f.uv, vu = f.vu, vv = f.vv;
  const float a = old_dcurv[0], b = old_dcurv[1], c = old_dcurv[2], d = old_dcurv[3];
  new_dcurv[0] =
      uu * uu * uu * a + 3.0f * uu * uu * uv * b + 3.0f * uu * uv * uv * c + uv * uv * uv * d;
  new_dcurv[1] = uu * uu * vu * a + (2.0f * uu * uv * vu + uu * uu * vv) * b +
                 (2.0f * uu * uv * vv + uv * uv * vu) * c + uv * uv * vv * d;
  new_dcurv[2] = uu * vu * vu * a + (2.0f * uu * vu * vv + uv * vu * vu) * b +
                 (uu * vv * vv + 2.0f * uv * vu * vv) * c + uv * vv * vv * d;
  new_dcurv[3] =
      vu * vu * vu * a + 3.0f * vu * vu * vv * b + 3.0f * vu * vv * vv * c + vv * vv * vv * d;
}

inline void principal_directions(const point& old_u, const point& old_v, float ku, float kuv,
                                 float kv, const point& new_norm, point& pdir1, point& pdir2,
                                 float& k1, float& k2) {
  point r_u, r_v;
  rotate_frame(old_u, old_v, new_norm, r_u, r_v);

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
