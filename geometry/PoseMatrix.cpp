#include "geometry/PoseMatrix.h"

#include "geometry/dense_solvers.h"
#include "geometry/pose_file.h"

#include <cmath>
#include <cstdio>
#include <istream>
#include <ostream>

PoseMatrix::PoseMatrix() : m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1} {}

PoseMatrix::PoseMatrix(const double values[16]) {
  for (int i = 0; i < 16; i++) m[i] = values[i];
}

PoseMatrix::PoseMatrix(double m0, double m1, double m2, double m3, double m4, double m5,
                       double m6, double m7, double m8, double m9, double m10, double m11,
                       double m12, double m13, double m14, double m15)
    : m{m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15} {}

PoseMatrix identity() { return PoseMatrix(); }

PoseMatrix translation(double x, double y, double z) {
  PoseMatrix t;
  t[12] = x;
  t[13] = y;
  t[14] = z;
  return t;
}

PoseMatrix translation(const point& t) { return translation(t.x, t.y, t.z); }

PoseMatrix rotation(double angle, double ax, double ay, double az) {
  double n = std::sqrt(ax * ax + ay * ay + az * az);
  if (!(n > 0.0)) return PoseMatrix();
  double x = ax / n, y = ay / n, z = az / n;
  double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
  PoseMatrix r;
  r.at(0, 0) = t * x * x + c;     r.at(0, 1) = t * x * y - s * z; r.at(0, 2) = t * x * z + s * y;
  r.at(1, 0) = t * x * y + s * z; r.at(1, 1) = t * y * y + c;     r.at(1, 2) = t * y * z - s * x;
  r.at(2, 0) = t * x * z - s * y; r.at(2, 1) = t * y * z + s * x; r.at(2, 2) = t * z * z + c;
  return r;
}

PoseMatrix rotation(double angle, const IntTriple& axis) {
  return rotation(angle, double(axis.x), double(axis.y), double(axis.z));
}

PoseMatrix rotation(double angle, const point& axis) {
  return rotation(angle, double(axis.x), double(axis.y), double(axis.z));
}

PoseMatrix operator*(const PoseMatrix& a, const PoseMatrix& b) {
  PoseMatrix p;
  for (int r = 0; r < 4; r++) {
    for (int c = 0; c < 4; c++) {
      double sum = 0.0;
      for (int k = 0; k < 4; k++) sum += a.at(r, k) * b.at(k, c);
      p.at(r, c) = sum;
    }
  }
  return p;
}

bool operator==(const PoseMatrix& a, const PoseMatrix& b) {
  for (int i = 0; i < 16; i++)
    if (a[i] != b[i]) return false;
  return true;
}

PoseMatrix inverse(const PoseMatrix& m) {
  double a[4][4];
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) a[r][c] = m.at(r, c);
  int perm[4];
  if (!lu_decompose4(a, perm)) return PoseMatrix();
  PoseMatrix inv;
  for (int c = 0; c < 4; c++) {
    double col[4] = {0, 0, 0, 0};
    col[c] = 1.0;
    lu_solve4(a, perm, col);
    for (int r = 0; r < 4; r++) inv.at(r, c) = col[r];
  }
  return inv;
}

PoseMatrix normal_matrix(const PoseMatrix& m) {
  PoseMatrix n = inverse(m);
  n[12] = n[13] = n[14] = 0.0;
  std::swap(n.at(0, 1), n.at(1, 0));
  std::swap(n.at(0, 2), n.at(2, 0));
  std::swap(n.at(1, 2), n.at(2, 1));
  return n;
}

point transform_point(const PoseMatrix& m, const point& p) {
  double x = p.x, y = p.y, z = p.z;
  double w = m.at(3, 0) * x + m.at(3, 1) * y + m.at(3, 2) * z + m.at(3, 3);
  double q = 1.0 / w;
  return point(float((m.at(0, 0) * x + m.at(0, 1) * y + m.at(0, 2) * z + m.at(0, 3)) * q),
               float((m.at(1, 0) * x + m.at(1, 1) * y + m.at(1, 2) * z + m.at(1, 3)) * q),
               float((m.at(2, 0) * x + m.at(2, 1) * y + m.at(2, 2) * z + m.at(2, 3)) * q));
}

point transform_direction(const PoseMatrix& m, const point& d) {
  double x = d.x, y = d.y, z = d.z;
  return point(float(m.at(0, 0) * x + m.at(0, 1) * y + m.at(0, 2) * z),
               float(m.at(1, 0) * x + m.at(1, 1) * y + m.at(1, 2) * z),
               float(m.at(2, 0) * x + m.at(2, 1) * y + m.at(2, 2) * z));
}

bool is_finite(const PoseMatrix& m) {
  for (double v : m.m)
    if (!std::isfinite(v)) return false;
  return true;
}

std::string pose_to_string(const PoseMatrix& m) {
  // %g is what a default-formatted text stream prints: six significant
  // digits, negative zero keeps its sign. Formatting through snprintf keeps
  // the text independent of any stream state the caller may have set.
  std::string text;
  char number[64];
  for (int r = 0; r < 4; r++) {
    for (int c = 0; c < 4; c++) {
      std::snprintf(number, sizeof number, "%g", m.at(r, c));
      if (c > 0) text += ' ';
      text += number;
    }
    text += '\n';
  }
  return text;
}

std::ostream& operator<<(std::ostream& os, const PoseMatrix& m) { return os << pose_to_string(m); }

std::istream& operator>>(std::istream& is, PoseMatrix& m) {
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) is >> m.at(r, c);
  if (!is.good()) m = PoseMatrix();
  return is;
}

bool read_pose(const std::string& filename, PoseMatrix& m) {
  PoseMatrix temp;
  if (!pose_was_read(read_pose_file(filename, temp).status)) return false;
  m = temp;
  return true;
}

bool write_pose(const PoseMatrix& m, const std::string& filename) {
  std::FILE* f = std::fopen(filename.c_str(), "w");
  if (!f) return false;
  std::string text = pose_to_string(m);
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (std::fflush(f) == 0) && ok && !std::ferror(f);
  return (std::fclose(f) == 0) && ok;
}
