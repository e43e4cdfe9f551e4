// The small dense solvers of the project, one per job:
//   lu_decompose4 / lu_solve4   general 4 x 4 systems (pose inverse), double
//   ldlt_solve3                 the coarse ICP step's 3 x 3 rotation, double
//   ldlt_decompose / ldlt_solve the curvature fits' 3 x 3 and 4 x 4, float or Float4 lanes
//   eigen_symmetric3            3 x 3 symmetric eigenproblem (normals), float
//   eigen_symmetric6            6 x 6 symmetric eigenproblem (point-to-plane)
//   damped_solve6               the point-to-plane solve from that eigenbasis
// Each keeps the exact operation order its callers were validated with: the
// aligned poses depend on every rounding, so none may be "simplified".
#pragma once

#include "geometry/Float4.h"

// LU decomposition in place (row-major a[r][c]) with partial pivoting and
// implicit row scaling: each candidate pivot is compared after scaling its row
// by the reciprocal of the row's largest absolute element. Returns false for
// an all-zero row or a zero pivot.
bool lu_decompose4(double a[4][4], int perm[4]);
// Solves LU x = b in place by forward and back substitution with the factors
// and row permutation of lu_decompose4.
void lu_solve4(const double a[4][4], const int perm[4], double b[4]);

// Solves the symmetric positive definite 3 x 3 system A x = b by LDL^T
// (square-root-free Cholesky). Only the upper triangle of A is read. False
// when a pivot is not clearly positive (not above 1e-12 times the trace):
// within round-off of zero it means A is singular, and dividing by it would
// produce an arbitrarily large answer.
// Not ldlt_decompose<3, double>: it divides by each pivot where that one
// multiplies by its reciprocal, so a merge would change the aligned poses.
bool ldlt_solve3(const double A[3][3], const double b[3], double x[3]);

// In-place LDL^T factorisation of a symmetric positive-definite N x N matrix
// (N = 3 or 4), of floats or of Float4 lanes (four matrices at once). Reads
// the diagonal and the lower triangle; writes the unit lower factor L
// transposed into the strict upper triangle (a[i][j] = L[j][i] for j > i)
// and the reciprocals of D into rdiag. Returns false (per lane) when a pivot
// is not > 0 (which includes NaN): a singular, indefinite or non-finite
// matrix, whose factors are then meaningless. The lower triangle and
// diagonal are left as they were.
template <int N, class T>
inline __attribute__((always_inline)) auto ldlt_decompose(T a[N][N], T rdiag[N]) -> decltype(T() > T()) {
  static_assert(N == 3 || N == 4, "small systems only");
  T pivot[N];
  auto ok = T(1.0f) > T(0.0f);
  for (int i = 0; i < N; i++) {
    for (int j = i; j < N; j++) {
      T sum = (j == i) ? a[i][i] : a[j][i];
      for (int k = 0; k < i; k++) sum = sum - a[k][i] * a[k][j] * pivot[k];
      if (j == i) {
        ok = both(ok, sum > T(0.0f));
        pivot[i] = sum;
        rdiag[i] = T(1.0f) / sum;
      } else {
        a[i][j] = sum * rdiag[i];
      }
    }
  }
  return ok;
}

// Solves a x = b with the factors of ldlt_decompose: forward substitution,
// scaling by the reciprocal pivots, back substitution. x may alias b.
template <int N, class T>
inline __attribute__((always_inline)) void ldlt_solve(const T a[N][N], const T rdiag[N], const T b[N], T x[N]) {
  T y[N];
  for (int i = 0; i < N; i++) {
    T sum = b[i];
    for (int k = 0; k < i; k++) sum = sum - a[k][i] * y[k];
    y[i] = sum;
  }
  for (int i = 0; i < N; i++) y[i] = y[i] * rdiag[i];
  for (int i = N - 1; i >= 0; i--) {
    T sum = y[i];
    for (int k = i + 1; k < N; k++) sum = sum - a[i][k] * y[k];
    y[i] = sum;
  }
  for (int i = 0; i < N; i++) x[i] = y[i];
}

// Eigen-decomposition of a symmetric 3 x 3 matrix in single precision
// (Householder reduction, implicit QL, ascending sort). `a` is row-major and
// not modified. `d` gets the eigenvalues in ascending order and column j of
// `v` (v[0][j], v[1][j], v[2][j]) the unit eigenvector of d[j]. Always
// terminates: each eigenvalue gets a bounded number of QL sweeps. With a NaN
// or infinite entry the outputs hold NaNs but stay in bounds.
void eigen_symmetric3(const float a[3][3], float d[3], float v[3][3]);

// Eigenvalues of the symmetric 6 x 6 matrix `a` (only its upper triangle is
// read) in ascending order, and the matching orthonormal eigenvectors as the
// columns of `evecs` (evecs[row][k] belongs to evals[k]). Deterministic;
// a zero matrix gives zero eigenvalues and the identity as eigenvectors.
void eigen_symmetric6(const float a[6][6], float evals[6], float evecs[6][6]);

// x = V diag(inv) V^T b with inv[k] = 1 / evals[k], except 0 where
// evals[k] < min_ratio * evals[5] (the largest) or evals[k] <= 0: motions
// along poorly determined eigenvectors are left at zero.
void damped_solve6(const float evals[6], const float evecs[6][6], const float b[6],
                   float min_ratio, float x[6]);
