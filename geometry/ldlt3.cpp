// Square-root-free Cholesky for the 3 x 3 systems solved in double.
#include <cmath>

#include "geometry/dense_solvers.h"

bool ldlt_solve3(const double A[3][3], const double b[3], double x[3]) {
  double tiny = 1e-12 * (std::fabs(A[0][0]) + std::fabs(A[1][1]) + std::fabs(A[2][2]));
  double d0 = A[0][0];
  if (!(d0 > tiny)) return false;
  double l10 = A[0][1] / d0, l20 = A[0][2] / d0;
  double d1 = A[1][1] - l10 * l10 * d0;
  if (!(d1 > tiny)) return false;
  double l21 = (A[1][2] - l20 * l10 * d0) / d1;
  double d2 = A[2][2] - l20 * l20 * d0 - l21 * l21 * d1;
  if (!(d2 > tiny)) return false;
  double y0 = b[0], y1 = b[1] - l10 * y0, y2 = b[2] - l20 * y0 - l21 * y1;
  x[2] = y2 / d2;
  x[1] = y1 / d1 - l21 * x[2];
  x[0] = y0 / d0 - l10 * x[1] - l20 * x[2];
  return true;
}
