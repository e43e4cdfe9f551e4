// `PoseMatrix`: a 4x4 transform of sixteen float64 in column-major order
// (element (row r, column c) at index 4c + r; translation at 12, 13, 14),
// identity by default, applied to points as M·(p, 1). Also the pose file
// ".xf": four text lines holding the matrix row by row, numbers printed as
// printf's %g (six significant digits) separated by single blanks.
#pragma once

#include <iosfwd>
#include <string>

#include "geometry/Vec.h"

struct PoseMatrix {
  double m[16];

  // The identity.
  PoseMatrix();
  // The i-th value is stored at index i (column-major order).
  explicit PoseMatrix(const double values[16]);
  PoseMatrix(double m0, double m1, double m2, double m3, double m4, double m5, double m6,
             double m7, double m8, double m9, double m10, double m11, double m12, double m13,
             double m14, double m15);

  double& operator[](int i) { return m[i]; }
  double operator[](int i) const { return m[i]; }
  // Element of row r, column c.
  double& at(int r, int c) { return m[4 * c + r]; }
  double at(int r, int c) const { return m[4 * c + r]; }
};

PoseMatrix identity();
// Identity with indices 12, 13, 14 set to x, y, z.
PoseMatrix translation(double x, double y, double z);
PoseMatrix translation(const point& t);
// Right-handed rotation by `angle` radians about the axis (ax, ay, az), which
// need not be of unit length. A zero axis gives the identity.
PoseMatrix rotation(double angle, double ax, double ay, double az);
PoseMatrix rotation(double angle, const IntTriple& axis);
PoseMatrix rotation(double angle, const point& axis);

// Ordinary matrix product: (a * b) applied to p equals a applied to (b applied to p).
PoseMatrix operator*(const PoseMatrix& a, const PoseMatrix& b);
bool operator==(const PoseMatrix& a, const PoseMatrix& b);

// True when none of the sixteen entries is NaN or infinite.
bool is_finite(const PoseMatrix& m);

// General inverse by LU decomposition with partial pivoting and implicit row
// scaling. A matrix with an all-zero row or a zero pivot yields the identity.
PoseMatrix inverse(const PoseMatrix& m);
// The matrix that maps normals wherever `m` maps points: inverse(m) without
// translation, upper-left 3x3 block transposed.
PoseMatrix normal_matrix(const PoseMatrix& m);
// Homogeneous mapping with division by w, computed in float64 and rounded to float32.
point transform_point(const PoseMatrix& m, const point& p);
inline point operator*(const PoseMatrix& m, const point& p) { return transform_point(m, p); }
// Applies only the upper-left 3x3 block (for directions and normals), rounded to float32.
point transform_direction(const PoseMatrix& m, const point& d);

// Writes the four lines of the pose file format.
std::ostream& operator<<(std::ostream& os, const PoseMatrix& m);
// Reads sixteen numbers row by row; `m` becomes the identity if the stream is
// not in the good state afterwards (this includes end of file right after the
// sixteenth number).
std::istream& operator>>(std::istream& is, PoseMatrix& m);

// True and `m` replaced when `filename` holds a readable pose; false and `m`
// untouched otherwise (missing file, fewer than sixteen numbers, a token that
// is not a number, or end of file right after the sixteenth number; also
// anything but a regular file, and a file larger than kMaxPoseFileBytes).
// Prints nothing; pose_file.h says why a read failed.
bool read_pose(const std::string& filename, PoseMatrix& m);
// Creates or truncates `filename` and writes `m`; true when writing and
// closing both succeeded. Prints nothing.
bool write_pose(const PoseMatrix& m, const std::string& filename);
// The pose-file text of `m` (the four lines, each ended by a newline).
std::string pose_to_string(const PoseMatrix& m);
