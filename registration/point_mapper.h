// A pose applied to many points: the matrix is read once into locals instead
// of per call. For a pose whose last row is (0, 0, 0, 1) (every rigid pose)
// and finite points the result is bit-identical to transform_point, whose
// division by w = 1 changes nothing; any other pose goes through
// transform_point itself.
#pragma once

#include <cstddef>
#include <experimental/simd>

#include "geometry/PoseMatrix.h"

namespace point_mapping {

// Inlined wherever it is called, so that a caller compiled for wider lanes
// (geometry/wide_lanes.h) runs these loops in them too.
#define POINT_MAPPING_INLINE inline __attribute__((always_inline))

// rows[r] = float(a[r][0] * x + a[r][1] * y + a[r][2] * z + t[r]) for the
// `count` points of `in`, by coordinate into out[0..2][0 .. count). Four
// points at a time in four double lanes (the library's data-parallel type;
// one register where the processor has 256-bit lanes, two otherwise): every
// lane performs the scalar expression's operations in its order, so the
// values are bit-identical to it.
POINT_MAPPING_INLINE void map_block(const double a[3][4], bool translate, const point* in, size_t count,
                      float* const out[3]) {
  namespace stdx = std::experimental;
  using Doubles = stdx::fixed_size_simd<double, 4>;
  using Floats = stdx::fixed_size_simd<float, 4>;
  size_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const point* p = in + k;
    const Doubles x([p](auto i) { return double(p[i].x); });
    const Doubles y([p](auto i) { return double(p[i].y); });
    const Doubles z([p](auto i) { return double(p[i].z); });
    for (int r = 0; r < 3; r++) {
      Doubles v = Doubles(a[r][0]) * x + Doubles(a[r][1]) * y + Doubles(a[r][2]) * z;
      if (translate) v = v + Doubles(a[r][3]);
      stdx::static_simd_cast<Floats>(v).copy_to(out[r] + k, stdx::element_aligned);
    }
  }
  for (; k < count; k++) {
    const double x = in[k].x, y = in[k].y, z = in[k].z;
    for (int r = 0; r < 3; r++) {
      const double v = a[r][0] * x + a[r][1] * y + a[r][2] * z;
      out[r][k] = float(translate ? v + a[r][3] : v);
    }
  }
}

}  // namespace point_mapping

class PointMapper {
 public:
  explicit PointMapper(const PoseMatrix& m) : pose_(m) {
    affine_ = m.at(3, 0) == 0.0 && m.at(3, 1) == 0.0 && m.at(3, 2) == 0.0 && m.at(3, 3) == 1.0;
    for (int r = 0; r < 3; r++)
      for (int c = 0; c < 4; c++) a_[r][c] = m.at(r, c);
  }

  point operator()(const point& p) const {
    if (!affine_) return transform_point(pose_, p);
    double x = p.x, y = p.y, z = p.z;
    return point(float(a_[0][0] * x + a_[0][1] * y + a_[0][2] * z + a_[0][3]),
                 float(a_[1][0] * x + a_[1][1] * y + a_[1][2] * z + a_[1][3]),
                 float(a_[2][0] * x + a_[2][1] * y + a_[2][2] * z + a_[2][3]));
  }

  // (*this)(in[k]) for k < count, by coordinate: out[0][k] = x, out[1][k] = y,
  // out[2][k] = z. Same values as the single-point call.
  POINT_MAPPING_INLINE void map(const point* in, size_t count, float* const out[3]) const {
    if (affine_) {
      point_mapping::map_block(a_, true, in, count, out);
      return;
    }
    for (size_t k = 0; k < count; k++) {
      const point p = transform_point(pose_, in[k]);
      for (int r = 0; r < 3; r++) out[r][k] = p[r];
    }
  }

 private:
  PoseMatrix pose_;
  bool affine_ = true;
  double a_[3][4];
};

// A matrix applied to many directions (normals): its upper-left 3 x 3 block
// read once into locals. Each result is the same float expression as
// transform_direction's, so the values are bit-identical to it.
class DirectionMapper {
 public:
  explicit DirectionMapper(const PoseMatrix& m) {
    for (int r = 0; r < 3; r++)
      for (int c = 0; c < 3; c++) a_[r][c] = m.at(r, c);
  }

  point operator()(const point& d) const {
    double x = d.x, y = d.y, z = d.z;
    return point(float(a_[0][0] * x + a_[0][1] * y + a_[0][2] * z),
                 float(a_[1][0] * x + a_[1][1] * y + a_[1][2] * z),
                 float(a_[2][0] * x + a_[2][1] * y + a_[2][2] * z));
  }

  // (*this)(in[k]) for k < count, by coordinate, as PointMapper::map.
  POINT_MAPPING_INLINE void map(const point* in, size_t count, float* const out[3]) const {
    point_mapping::map_block(a_, false, in, count, out);
  }

 private:
  double a_[3][4] = {};  // the last column stays 0: directions are not translated
};
