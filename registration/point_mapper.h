// A pose applied to many points: the matrix is read once into locals instead
// of per call. For a pose whose last row is (0, 0, 0, 1) (every rigid pose)
// and finite points the result is bit-identical to transform_point, whose
// division by w = 1 changes nothing; any other pose goes through
// transform_point itself.
#pragma once

#include "geometry/PoseMatrix.h"

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

 private:
  double a_[3][3];
};
