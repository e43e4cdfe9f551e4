// The value types every layer passes around: the single-precision 3-vector
// `point` (positions, normals, directions), the colour triple `Color` and the
// integer triple `IntTriple` used as a rotation axis.
//
// Every operation rounds to float32 at each step, in the order written (the
// build evaluates float expressions in float and never fuses a multiply and
// an add). All operations return new values except `normalize`.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

// Three float32 coordinates. Default (0, 0, 0). Indexable 0..2 as x, y, z.
struct point {
  float x = 0.0f, y = 0.0f, z = 0.0f;

  point() = default;
  point(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  // Reads three consecutive floats.
  explicit point(const float* p) : x(p[0]), y(p[1]), z(p[2]) {}

  float& operator[](int i) { return (&x)[i]; }
  float operator[](int i) const { return (&x)[i]; }
  // The three coordinates as a contiguous array (the record is exactly 3 floats).
  float* data() { return &x; }
  const float* data() const { return &x; }

  point& operator+=(const point& b) { x += b.x; y += b.y; z += b.z; return *this; }
  point& operator-=(const point& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
  point& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  point& operator/=(float s) { x /= s; y /= s; z /= s; return *this; }
};
static_assert(sizeof(point) == 3 * sizeof(float), "point must be three packed floats");
static_assert(std::is_standard_layout<point>::value, "point must be standard layout");

inline point operator+(const point& a, const point& b) { return point(a.x + b.x, a.y + b.y, a.z + b.z); }
inline point operator-(const point& a, const point& b) { return point(a.x - b.x, a.y - b.y, a.z - b.z); }
inline point operator-(const point& a) { return point(-a.x, -a.y, -a.z); }
inline point operator*(float s, const point& a) { return point(s * a.x, s * a.y, s * a.z); }
inline point operator*(const point& a, float s) { return point(s * a.x, s * a.y, s * a.z); }
inline point operator/(const point& a, float s) { return point(a.x / s, a.y / s, a.z / s); }
inline bool operator==(const point& a, const point& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool operator!=(const point& a, const point& b) { return !(a == b); }

inline float dot(const point& a, const point& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline point cross(const point& a, const point& b) {
  return point(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
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

// Scales `a` to unit length in place and returns it. A vector of zero length
// (or a NaN length, which compares false) becomes (1, 0, 0).
inline point& normalize(point& a) {
  float l = len(a);
  if (l > 0.0f) {
    a *= 1.0f / l;
  } else {
    a = point(1.0f, 0.0f, 0.0f);
  }
  return a;
}

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
