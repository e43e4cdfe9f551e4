// Crout-style LU with scaled partial pivoting for 4 x 4 systems.
#include <cmath>
#include <utility>

#include "geometry/dense_solvers.h"

bool lu_decompose4(double a[4][4], int perm[4]) {
  double scale[4];
  for (int r = 0; r < 4; r++) {
    double big = 0.0;
    for (int c = 0; c < 4; c++) big = std::fmax(big, std::fabs(a[r][c]));
    if (big == 0.0) return false;
    scale[r] = 1.0 / big;
  }
  for (int c = 0; c < 4; c++) {
    for (int r = 0; r < c; r++) {
      double sum = a[r][c];
      for (int k = 0; k < r; k++) sum -= a[r][k] * a[k][c];
      a[r][c] = sum;
    }
    double big = 0.0;
    int pivot = c;
    for (int r = c; r < 4; r++) {
      double sum = a[r][c];
      for (int k = 0; k < c; k++) sum -= a[r][k] * a[k][c];
      a[r][c] = sum;
      double merit = scale[r] * std::fabs(sum);
      if (merit >= big) {
        big = merit;
        pivot = r;
      }
    }
    if (pivot != c) {
      for (int k = 0; k < 4; k++) std::swap(a[pivot][k], a[c][k]);
      scale[pivot] = scale[c];
    }
    perm[c] = pivot;
    if (a[c][c] == 0.0) return false;
    if (c != 3) {
      double inv = 1.0 / a[c][c];
      for (int r = c + 1; r < 4; r++) a[r][c] *= inv;
    }
  }
  return true;
}

void lu_solve4(const double a[4][4], const int perm[4], double b[4]) {
  for (int r = 0; r < 4; r++) {
    double sum = b[perm[r]];
    b[perm[r]] = b[r];
    for (int k = 0; k < r; k++) sum -= a[r][k] * b[k];
    b[r] = sum;
  }
  for (int r = 3; r >= 0; r--) {
    double sum = b[r];
    for (int k = r + 1; k < 4; k++) sum -= a[r][k] * b[k];
    b[r] = sum / a[r][r];
  }
}
