// Float4: four single-precision lanes that one instruction processes
// together (SSE2), for running the same float arithmetic on four independent
// inputs at once. Every operation is the IEEE operation of scalar float code
// (add, subtract, multiply, divide and square root are exactly rounded, a
// negation flips the sign bit), so each lane of a result is bit-identical to
// the scalar expression written the same way, provided the compiler does not
// fuse multiplies and adds (the build forbids it).
//
// Comparisons give a Mask4 of lanes; select() takes the place of a branch.
// Generic code written once for `float` and `Float4` uses the overloads at
// the end for the scalar case: select, lanes_of and both.
#pragma once

#include <cfloat>

// Scalar float code must round every step to float, as each lane does.
static_assert(FLT_EVAL_METHOD == 0, "float expressions must be evaluated in float");

#if defined(__SSE2__)
#include <emmintrin.h>
#else
#include <cmath>
#endif

#if defined(__SSE2__)

struct Mask4 {
  __m128 m;
};

struct Float4 {
  __m128 v;
  Float4() : v(_mm_setzero_ps()) {}
  Float4(float s) : v(_mm_set1_ps(s)) {}  // NOLINT: implicit, so constants mix in
  explicit Float4(__m128 x) : v(x) {}
  // Lanes 0..3 from four scalars.
  static Float4 of(float a, float b, float c, float d) { return Float4(_mm_setr_ps(a, b, c, d)); }
  void store(float out[4]) const { _mm_storeu_ps(out, v); }
};

inline Float4 operator+(Float4 a, Float4 b) { return Float4(_mm_add_ps(a.v, b.v)); }
inline Float4 operator-(Float4 a, Float4 b) { return Float4(_mm_sub_ps(a.v, b.v)); }
inline Float4 operator*(Float4 a, Float4 b) { return Float4(_mm_mul_ps(a.v, b.v)); }
inline Float4 operator/(Float4 a, Float4 b) { return Float4(_mm_div_ps(a.v, b.v)); }
inline Float4 operator-(Float4 a) { return Float4(_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))); }
inline Float4 sqrt(Float4 a) { return Float4(_mm_sqrt_ps(a.v)); }

// Ordered comparisons: a lane holding NaN compares false, as in scalar code.
inline Mask4 operator>(Float4 a, Float4 b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline Mask4 operator<=(Float4 a, Float4 b) { return {_mm_cmple_ps(a.v, b.v)}; }
inline Mask4 operator&(Mask4 a, Mask4 b) { return {_mm_and_ps(a.m, b.m)}; }

// a where the mask is set, else b.
inline Float4 select(Mask4 mask, Float4 a, Float4 b) {
  return Float4(_mm_or_ps(_mm_and_ps(mask.m, a.v), _mm_andnot_ps(mask.m, b.v)));
}
// Lane k of the mask in bit k.
inline int lanes_of(Mask4 mask) { return _mm_movemask_ps(mask.m); }

#else  // Without SSE2: the same interface over plain floats.

struct Mask4 {
  bool m[4];
};

struct Float4 {
  float v[4];
  Float4() : v{0.0f, 0.0f, 0.0f, 0.0f} {}
  Float4(float s) : v{s, s, s, s} {}  // NOLINT: implicit, so constants mix in
  static Float4 of(float a, float b, float c, float d) {
    Float4 r;
    r.v[0] = a;
    r.v[1] = b;
    r.v[2] = c;
    r.v[3] = d;
    return r;
  }
  void store(float out[4]) const {
    for (int k = 0; k < 4; k++) out[k] = v[k];
  }
};

template <typename Op>
Float4 lanewise(Float4 a, Float4 b, Op op) {
  Float4 r;
  for (int k = 0; k < 4; k++) r.v[k] = op(a.v[k], b.v[k]);
  return r;
}
inline Float4 operator+(Float4 a, Float4 b) { return lanewise(a, b, [](float x, float y) { return x + y; }); }
inline Float4 operator-(Float4 a, Float4 b) { return lanewise(a, b, [](float x, float y) { return x - y; }); }
inline Float4 operator*(Float4 a, Float4 b) { return lanewise(a, b, [](float x, float y) { return x * y; }); }
inline Float4 operator/(Float4 a, Float4 b) { return lanewise(a, b, [](float x, float y) { return x / y; }); }
inline Float4 operator-(Float4 a) { return lanewise(a, a, [](float x, float) { return -x; }); }
inline Float4 sqrt(Float4 a) { return lanewise(a, a, [](float x, float) { return std::sqrt(x); }); }

inline Mask4 operator>(Float4 a, Float4 b) { return {{a.v[0] > b.v[0], a.v[1] > b.v[1], a.v[2] > b.v[2], a.v[3] > b.v[3]}}; }
inline Mask4 operator<=(Float4 a, Float4 b) {
  return {{a.v[0] <= b.v[0], a.v[1] <= b.v[1], a.v[2] <= b.v[2], a.v[3] <= b.v[3]}};
}
inline Mask4 operator&(Mask4 a, Mask4 b) { return {{a.m[0] && b.m[0], a.m[1] && b.m[1], a.m[2] && b.m[2], a.m[3] && b.m[3]}}; }
inline Float4 select(Mask4 mask, Float4 a, Float4 b) {
  Float4 r;
  for (int k = 0; k < 4; k++) r.v[k] = mask.m[k] ? a.v[k] : b.v[k];
  return r;
}
inline int lanes_of(Mask4 mask) { return mask.m[0] | mask.m[1] << 1 | mask.m[2] << 2 | mask.m[3] << 3; }

#endif

// The scalar counterparts, so that one template serves float and Float4.
inline float select(bool condition, float a, float b) { return condition ? a : b; }
inline int lanes_of(bool condition) { return condition ? 1 : 0; }
inline bool both(bool a, bool b) { return a && b; }
inline Mask4 both(Mask4 a, Mask4 b) { return a & b; }
