// Each dense solver against known answers or its defining equations.
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "geometry/Vec.h"
#include "geometry/dense_solvers.h"

namespace {
const float kEigenTol = 1e-4f;
}  // namespace

TEST(DenseSolvers, Ldlt3SolvesAndRefusesNearSingularSystems) {
  // A = [[4,2,0],[2,5,1],[0,1,3]], x = (1,-1,2): b = A x = (2,-1,5).
  const double a[3][3] = {{4, 2, 0}, {2, 5, 1}, {0, 1, 3}};
  const double b[3] = {2, -1, 5};
  double x[3];
  ASSERT_TRUE(ldlt_solve3(a, b, x));
  EXPECT_NEAR(x[0], 1.0, 1e-12);
  EXPECT_NEAR(x[1], -1.0, 1e-12);
  EXPECT_NEAR(x[2], 2.0, 1e-12);
  // Rank 2 up to round-off (all points on one line): refused, not solved.
  const double line[3][3] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1 + 1e-15}};
  EXPECT_FALSE(ldlt_solve3(line, b, x));
  const double zero[3][3] = {};
  EXPECT_FALSE(ldlt_solve3(zero, b, x));
}

TEST(DenseSolvers, LdltFloatSolvesAndRejects) {
  float a[4][4] = {{4, 1, 0, 0}, {1, 5, 2, 0}, {0, 2, 6, 1}, {0, 0, 1, 3}};
  const float full[4][4] = {{4, 1, 0, 0}, {1, 5, 2, 0}, {0, 2, 6, 1}, {0, 0, 1, 3}};
  float rdiag[4];
  ASSERT_TRUE(ldlt_decompose<4>(a, rdiag));
  float x[4] = {1, -2, 3, 0.5f};  // right-hand side, solved in place
  const float b[4] = {1, -2, 3, 0.5f};
  ldlt_solve<4>(a, rdiag, x, x);
  for (int i = 0; i < 4; i++) {
    float ax = 0;
    for (int j = 0; j < 4; j++) ax += full[i][j] * x[j];
    EXPECT_NEAR(ax, b[i], 1e-5f) << "row " << i;
  }
  float singular[3][3] = {{1, 1, 0}, {1, 1, 0}, {0, 0, 1}};
  float indefinite[3][3] = {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  float not_finite[3][3] = {{nan, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  float r3[3];
  EXPECT_FALSE(ldlt_decompose<3>(singular, r3));
  EXPECT_FALSE(ldlt_decompose<3>(indefinite, r3));
  EXPECT_FALSE(ldlt_decompose<3>(not_finite, r3));
}

TEST(DenseSolvers, Eigen3DecomposesSymmetricMatricesAscending) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> coord(-3.0f, 3.0f);
  for (int trial = 0; trial < 200; trial++) {
    float a[3][3];
    for (int i = 0; i < 3; i++)
      for (int j = i; j < 3; j++) a[i][j] = a[j][i] = coord(rng);
    if (trial < 2) {  // already diagonal: out of order, then with a repeated value
      for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) a[i][j] = (i == j) ? float(trial == 0 ? 3 - i : i / 2) : 0.0f;
    }
    float d[3], v[3][3];
    eigen_symmetric3(a, d, v);
    EXPECT_LE(d[0], d[1]) << "trial " << trial;
    EXPECT_LE(d[1], d[2]) << "trial " << trial;
    for (int j = 0; j < 3; j++) {
      point col(v[0][j], v[1][j], v[2][j]);
      EXPECT_NEAR(len(col), 1.0f, 1e-5f) << "trial " << trial;
      for (int i = 0; i < 3; i++) {
        float av = a[i][0] * col.x + a[i][1] * col.y + a[i][2] * col.z;
        EXPECT_NEAR(av, d[j] * col[i], 1e-4f) << "trial " << trial << " column " << j;
      }
    }
  }
}

TEST(DenseSolvers, Eigen3NonFiniteInputTerminates) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  float a[3][3] = {{1, nan, 0}, {nan, 2, 0}, {0, 0, 3}};
  float d[3], v[3][3];
  eigen_symmetric3(a, d, v);  // must return; the values are meaningless
  float b[3][3] = {{inf, 1, 0}, {1, 2, 0}, {0, 0, -inf}};
  eigen_symmetric3(b, d, v);
  float zero[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  eigen_symmetric3(zero, d, v);
  EXPECT_EQ(d[0], 0.0f);
  EXPECT_EQ(d[2], 0.0f);
}

TEST(DenseSolvers, Eigen6DecomposesRandomSymmetricMatrices) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int trial = 0; trial < 20; trial++) {
    float a[6][6];
    for (int r = 0; r < 6; r++)
      for (int c = r; c < 6; c++) a[r][c] = a[c][r] = u(rng);
    float evals[6], evecs[6][6];
    eigen_symmetric6(a, evals, evecs);
    for (int k = 0; k < 5; k++) EXPECT_LE(evals[k], evals[k + 1]);
    for (int k = 0; k < 6; k++) {
      for (int r = 0; r < 6; r++) {
        float av = 0.0f;
        for (int c = 0; c < 6; c++) av += a[r][c] * evecs[c][k];
        EXPECT_NEAR(av, evals[k] * evecs[r][k], kEigenTol) << "trial " << trial;
      }
      for (int j = 0; j < 6; j++) {
        float d = 0.0f;
        for (int r = 0; r < 6; r++) d += evecs[r][k] * evecs[r][j];
        EXPECT_NEAR(d, j == k ? 1.0f : 0.0f, kEigenTol);
      }
    }
  }
}

TEST(DenseSolvers, DampedSolve6LeavesWeakDirectionsStill) {
  // Diagonal system: eigenvalue 0.005 of axis 2 is below 1 % of the largest
  // (1.0) and gets no motion; 0.01 exactly is kept (the test is strict).
  float a[6][6] = {};
  const float diag[6] = {1.0f, 0.5f, 0.005f, 0.01f, 0.2f, 0.0f};
  for (int k = 0; k < 6; k++) a[k][k] = diag[k];
  float evals[6], evecs[6][6], x[6];
  eigen_symmetric6(a, evals, evecs);
  EXPECT_EQ(evals[0], 0.0f);
  EXPECT_EQ(evals[5], 1.0f);
  const float b[6] = {1, 1, 1, 1, 1, 1};
  damped_solve6(evals, evecs, b, 0.01f, x);
  EXPECT_NEAR(x[0], 1.0f, 1e-6f);
  EXPECT_NEAR(x[1], 2.0f, 1e-6f);
  EXPECT_EQ(x[2], 0.0f);
  EXPECT_NEAR(x[3], 100.0f, 1e-3f);
  EXPECT_NEAR(x[4], 5.0f, 1e-5f);
  EXPECT_EQ(x[5], 0.0f);  // a zero eigenvalue never divides
}

