// Vec3<T>: a 3-vector over float or Float4, for arithmetic written once and
// run on one point or on four points in vector lanes. Every operation is
// the one of `point` (geometry/Vec.h) written the same way, term by term and
// in the same order, so Vec3<float> gives point's bits and each lane of
// Vec3<Float4> gives them too.
#pragma once

#include <cmath>

#include "geometry/Float4.h"
#include "geometry/Vec.h"

template <class T>
struct Vec3 {
  T x, y, z;
};

template <class T>
Vec3<T> operator+(const Vec3<T>& a, const Vec3<T>& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
template <class T>
Vec3<T> operator-(const Vec3<T>& a, const Vec3<T>& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <class T>
Vec3<T> operator-(const Vec3<T>& a) {
  return {-a.x, -a.y, -a.z};
}
template <class T>
Vec3<T> operator*(const T& s, const Vec3<T>& a) {
  return {s * a.x, s * a.y, s * a.z};
}
template <class T>
Vec3<T> operator*(const Vec3<T>& a, const T& s) {
  return {s * a.x, s * a.y, s * a.z};
}
template <class T>
T dot(const Vec3<T>& a, const Vec3<T>& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
template <class T>
Vec3<T> cross(const Vec3<T>& a, const Vec3<T>& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// The vector scaled to unit length; (1, 0, 0) for a zero or NaN length.
template <class T>
Vec3<T> normalized(const Vec3<T>& a) {
  using std::sqrt;
  const T l = sqrt(dot(a, a));
  const auto positive = l > T(0.0f);
  const T s = T(1.0f) / l;
  return {select(positive, a.x * s, T(1.0f)), select(positive, a.y * s, T(0.0f)),
          select(positive, a.z * s, T(0.0f))};
}
template <class T>
Vec3<T> select(decltype(T() > T()) mask, const Vec3<T>& a, const Vec3<T>& b) {
  return {select(mask, a.x, b.x), select(mask, a.y, b.y), select(mask, a.z, b.z)};
}

inline Vec3<float> vec3(const point& p) { return {p.x, p.y, p.z}; }
inline point to_point(const Vec3<float>& v) { return point(v.x, v.y, v.z); }
