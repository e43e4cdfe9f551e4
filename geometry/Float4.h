// Float4: four single-precision lanes that one instruction processes
// together, for running the same float arithmetic on four independent inputs
// at once. It is the C++ library's data-parallel type for four floats
// (std::experimental::simd), in the representation the library deduces for
// that width: one vector register where the processor has one (SSE's
// 16-byte registers on x86-64), four plain floats where it has not. The
// deduced form rather than the general fixed_size one, because GCC 12 stops
// inlining the small Vec3<Float4> helpers (dot, cross, select) around the
// latter, which costs the curvature fits about a third more instructions.
//
// Every operation is the IEEE operation of scalar float code (add, subtract,
// multiply, divide and square root are exactly rounded, a negation flips the
// sign bit), so each lane of a result is bit-identical to the scalar
// expression written the same way, provided the compiler does not fuse
// multiplies and adds (the build forbids it). Only the payload of a NaN made
// from two NaN operands is unspecified, in lanes as in scalar code.
//
// Comparisons give a Mask4 of lanes (a lane holding NaN compares false, as in
// scalar code); select() takes the place of a branch. Generic code written
// once for `float` and `Float4` uses the overloads at the end for the scalar
// case: select, lanes_of and both.
#pragma once

#include <cfloat>
#include <experimental/simd>

// Scalar float code must round every step to float, as each lane does.
static_assert(FLT_EVAL_METHOD == 0, "float expressions must be evaluated in float");

using Float4 = std::experimental::simd<float, std::experimental::simd_abi::deduce_t<float, 4>>;
static_assert(Float4::size() == 4, "four lanes");
using Mask4 = Float4::mask_type;

// Lanes 0..3 from four scalars.
inline Float4 float4_of(float a, float b, float c, float d) {
  const float lanes[4] = {a, b, c, d};
  return Float4(lanes, std::experimental::element_aligned);
}
// Lane k into out[k].
inline void store(const Float4& x, float out[4]) { x.copy_to(out, std::experimental::element_aligned); }

// a where the mask is set, else b.
inline Float4 select(const Mask4& mask, const Float4& a, const Float4& b) {
  Float4 r = b;
  where(mask, r) = a;
  return r;
}
// Lane k of the mask in bit k.
inline int lanes_of(const Mask4& mask) {
  int bits = 0;
  for (int k = 0; k < 4; k++) bits |= int(mask[k]) << k;
  return bits;
}
inline Mask4 both(const Mask4& a, const Mask4& b) { return a && b; }

// The scalar counterparts, so that one template serves float and Float4.
inline float select(bool condition, float a, float b) { return condition ? a : b; }
inline int lanes_of(bool condition) { return condition ? 1 : 0; }
inline bool both(bool a, bool b) { return a && b; }
