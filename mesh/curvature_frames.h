// Helpers of the curvature estimation: moving tangent frames between
// vertices and faces, re-expressing curvature tensors and their derivatives
// in another frame, and principal directions.
// A "frame" (u, v) is an orthonormal tangent pair; its normal is u x v.
// The frame and tensor helpers are written once over Vec3<T>: T = float for
// one corner (a point), T = Float4 for four corners in vector lanes, each
// lane giving the single corner's bits. A branch on the data is a select
// between both results.
#pragma once

#include "geometry/Vec.h"

namespace curvature_frames {

// Rotates the frame (old_u, old_v) about the axis old_normal x new_norm so
// that its normal becomes new_norm (a unit vector), giving (new_u, new_v).
// Opposite normals (dot <= -1) flip both vectors.
template <class T>
void rotate_frame(const Vec3<T>& old_u, const Vec3<T>& old_v, const Vec3<T>& new_norm,
                  Vec3<T>& new_u, Vec3<T>& new_v);

// The second fundamental form (ku, kuv, kv) given in the frame (old_u, old_v),
// re-expressed in the frame (new_u, new_v) after rotating the old frame onto
// the new frame's normal.
template <class T>
void project_curvature(const Vec3<T>& old_u, const Vec3<T>& old_v, T old_ku, T old_kuv, T old_kv,
                       const Vec3<T>& new_u, const Vec3<T>& new_v, T& new_ku, T& new_kuv,
                       T& new_kv);

// The curvature derivative tensor (a, b, c, d) = (dk_uu/du, dk_uu/dv,
// dk_vv/du, dk_vv/dv) given in (old_u, old_v), re-expressed in (new_u, new_v).
template <class T>
void project_curvature_derivative(const Vec3<T>& old_u, const Vec3<T>& old_v, const T old_dcurv[4],
                                  const Vec3<T>& new_u, const Vec3<T>& new_v, T new_dcurv[4]);

}  // namespace curvature_frames

// Diagonalises the form (ku, kuv, kv) given in (old_u, old_v), after rotating
// that frame onto new_norm: k1, k2 are the principal curvatures with
// |k1| >= |k2| (a tie keeps the unswapped order), pdir1 the direction of k1
// and pdir2 = new_norm x pdir1. kuv = 0 keeps the rotated frame's axes.
inline void principal_directions(const point& old_u, const point& old_v, float ku, float kuv,
                                 float kv, const point& new_norm, point& pdir1, point& pdir2,
                                 float& k1, float& k2);

// Inline definitions of the frame helpers: they run per face corner in the
// curvature passes, where a call per corner is a measurable cost.
#include "mesh/curvature_frames_impl.h"
