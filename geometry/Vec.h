// The value types every layer passes around: the 3-vector `Vec3<T>` and its
// single-precision form `point` (positions, normals, directions), the colour
// triple `Color` and the integer triple `IntTriple` used as a rotation axis.
//
// Every operation rounds to float32 at each step, in the order written (the
// build evaluates float expressions in float and never fuses a multiply and
// an add). All operations return new values except `normalize`.
//
// Vec3<T> is written once for T = float and T = Float4 (geometry/Float4.h,
// four points in vector lanes): each lane of a Vec3<Float4> operation gives
// the bits of the same operation on a point.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "geometry/Float4.h"

// Three coordinates. Default (0, 0, 0). Indexable 0..2 as x, y, z.
template <class T>
struct Vec3 {
  using scalar = T;
  T x = T(0.0f), y = T(0.0f), z = T(0.0f);

  Vec3() = default;
  Vec3(T x_, T y_, T z_) : x(x_), y(y_), z(z_) {}
  // Reads three consecutive floats.
  explicit Vec3(const float* p) : x(p[0]), y(p[1]), z(p[2]) {}

  T& operator[](int i) { return (&x)[i]; }
  T operator[](int i) const { return (&x)[i]; }
  // The three coordinates as a contiguous array (the record is exactly 3 T).
  T* data() { return &x; }
  const T* data() const { return &x; }

  Vec3& operator+=(const Vec3& b) { x += b.x; y += b.y; z += b.z; return *this; }
  Vec3& operator-=(const Vec3& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
  Vec3& operator*=(T s) { x *= s; y *= s; z *= s; return *this; }
  Vec3& operator/=(T s) { x /= s; y /= s; z /= s; return *this; }
};

// Three float32 coordinates: the vector of every mesh and pose.
using point = Vec3<float>;
static_assert(sizeof(point) == 3 * sizeof(float), "point must be three packed floats");
static_assert(std::is_standard_layout<point>::value, "point must be standard layout");

// The scalar operand is `typename Vec3<T>::scalar` so that only the vector
// decides T and a plain number converts, as it would for a float parameter.
template <class T>
Vec3<T> operator+(const Vec3<T>& a, const Vec3<T>& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
template <class T>
Vec3<T> operator-(const Vec3<T>& a, const Vec3<T>& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
template <class T>
Vec3<T> operator-(const Vec3<T>& a) { return {-a.x, -a.y, -a.z}; }
template <class T>
Vec3<T> operator*(typename Vec3<T>::scalar s, const Vec3<T>& a) { return {s * a.x, s * a.y, s * a.z}; }
template <class T>
Vec3<T> operator*(const Vec3<T>& a, typename Vec3<T>::scalar s) { return {s * a.x, s * a.y, s * a.z}; }
template <class T>
Vec3<T> operator/(const Vec3<T>& a, typename Vec3<T>::scalar s) { return {a.x / s, a.y / s, a.z / s}; }
template <class T>
bool operator==(const Vec3<T>& a, const Vec3<T>& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
template <class T>
bool operator!=(const Vec3<T>& a, const Vec3<T>& b) { return !(a == b); }

template <class T>
T dot(const Vec3<T>& a, const Vec3<T>& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
template <class T>
Vec3<T> cross(const Vec3<T>& a, const Vec3<T>& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// a where the mask is set, else b (a branch that serves float and Float4).
template <class T>
Vec3<T> select(decltype(T() > T()) mask, const Vec3<T>& a, const Vec3<T>& b) {
  return {select(mask, a.x, b.x), select(mask, a.y, b.y), select(mask, a.z, b.z)};
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

inline float len2(const point& a) { return dot(a, a); }
inline float len(const point& a) { return std::sqrt(len2(a)); }
inline float dist2(const point& a, const point& b) { return len2(b - a); }
inline float dist(const point& a, const point& b) { return std::sqrt(dist2(a, b)); }
// True when no coordinate is NaN or infinite.
inline bool is_finite(const point& a) {
  return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

// Area-weighted normal of triangle a, b, c: half the cross product of its edges.
inline point trinorm(const point& a, const point& b, const point& c) {
  return 0.5f * cross(b - a, c - a);
}

// Scales `a` to unit length in place (as `normalized`) and returns it. A
// vector of zero length (or a NaN length, which compares false) becomes
// (1, 0, 0).
inline point& normalize(point& a) { return a = normalized(a); }

// Red, green, blue as float32, nominally in [0, 1]. Default (0, 0, 0).
struct Color {
  float r = 0.0f, g = 0.0f, b = 0.0f;

  Color() = default;
  Color(float r_, float g_, float b_) : r(r_), g(g_), b(b_) {}

  // The float nearest 1/255, the factor that turns colour bytes into floats.
  static constexpr float kByteScale = 0.003921569f;
  // Colour from three bytes: each byte times kByteScale.
  static Color from_bytes(uint8_t r8, uint8_t g8, uint8_t b8) {
    return Color(r8 * kByteScale, g8 * kByteScale, b8 * kByteScale);
  }

  float& operator[](int i) { return (&r)[i]; }
  float operator[](int i) const { return (&r)[i]; }
};
static_assert(sizeof(Color) == 3 * sizeof(float), "Color must be three packed floats");

inline Color operator+(const Color& a, const Color& b) { return Color(a.r + b.r, a.g + b.g, a.b + b.b); }
inline Color operator-(const Color& a, const Color& b) { return Color(a.r - b.r, a.g - b.g, a.b - b.b); }
inline Color operator*(float s, const Color& a) { return Color(s * a.r, s * a.g, s * a.b); }
inline bool operator==(const Color& a, const Color& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

// Three int32; only used as the axis argument of `rotation`.
struct IntTriple {
  int32_t x = 0, y = 0, z = 0;
  IntTriple() = default;
  IntTriple(int32_t x_, int32_t y_, int32_t z_) : x(x_), y(y_), z(z_) {}
};
