// Each dense solver against known answers or its defining equations.
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "geometry/Float4.h"
#include "geometry/dense_solvers.h"

namespace {

// Ascending eigenvalues, orthonormal eigenvectors in the columns, A v = d v.
template <int N>
void expect_eigen_decomposition(const float (&a)[N][N], const float (&d)[N], const float (&v)[N][N]) {
  for (int k = 0; k < N; k++) {
    EXPECT_LE(d[k > 0 ? k - 1 : 0], d[k]);
    for (int r = 0; r < N; r++) {
      float av = 0.0f, vv = 0.0f;
      for (int c = 0; c < N; c++) av += a[r][c] * v[c][k], vv += v[c][r] * v[c][k];
      EXPECT_NEAR(av, d[k] * v[r][k], 1e-4f) << "column " << k;
      EXPECT_NEAR(vv, r == k ? 1.0f : 0.0f, 1e-4f) << "columns " << r << ", " << k;
    }
  }
}

}  // namespace

// A multiply followed by an add rounds twice, in scalar code and in vector
// lanes alike: (1 + 2^-12)^2 rounds to 1 + 2^-11, so subtracting that gives
// 0, where a fused multiply-add would keep 2^-24. Results fixed to the last
// bit depend on it.
TEST(DenseSolvers, MultiplyAndAddRoundTwice) {
  volatile float a = 1.0f + 0x1p-12f, c = -(1.0f + 0x1p-11f);
  const float x = a, z = c;
  EXPECT_EQ(x * x + z, 0.0f);
  float lanes[4];
  store(Float4(x) * Float4(x) + Float4(z), lanes);
  EXPECT_EQ(lanes[0], 0.0f);
}

TEST(DenseSolvers, Ldlt3SolvesAndRefusesNearSingularSystems) {
  // A = [[4,2,0],[2,5,1],[0,1,3]], x = (1,-1,2): b = A x = (2,-1,5).
  const double a[3][3] = {{4, 2, 0}, {2, 5, 1}, {0, 1, 3}};
  const double b[3] = {2, -1, 5};
  double x[3];
  ASSERT_TRUE(ldlt_solve3(a, b, x));
  const double want[3] = {1, -1, 2};
  for (int i = 0; i < 3; i++) EXPECT_NEAR(x[i], want[i], 1e-12);
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
  const float nan = std::numeric_limits<float>::quiet_NaN();
  float refused[3][3][3] = {{{1, 1, 0}, {1, 1, 0}, {0, 0, 1}},     // singular
                            {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}},    // indefinite
                            {{nan, 0, 0}, {0, 1, 0}, {0, 0, 1}}};  // not finite
  for (auto& m : refused) EXPECT_FALSE(ldlt_decompose<3>(m, rdiag));
}

TEST(DenseSolvers, EigenSolversDecomposeRandomSymmetricMatrices) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-3.0f, 3.0f);
  for (int trial = 0; trial < 200; trial++) {
    SCOPED_TRACE(testing::Message() << "trial " << trial);
    float a[3][3], d[3], v[3][3];
    for (int i = 0; i < 3; i++)
      for (int j = i; j < 3; j++) a[i][j] = a[j][i] = u(rng);
    if (trial < 3) {  // already diagonal: out of order, with a repeated value, all zero
      for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) a[i][j] = (i == j && trial < 2) ? float(trial == 0 ? 3 - i : i / 2) : 0.0f;
    }
    eigen_symmetric3(a, d, v);
    expect_eigen_decomposition(a, d, v);
    if (trial % 10) continue;
    float a6[6][6], d6[6], v6[6][6];
    for (int r = 0; r < 6; r++)
      for (int c = r; c < 6; c++) a6[r][c] = a6[c][r] = u(rng) / 3.0f;
    eigen_symmetric6(a6, d6, v6);
    expect_eigen_decomposition(a6, d6, v6);
  }
}

TEST(DenseSolvers, Eigen3NonFiniteInputTerminates) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  float a[3][3] = {{1, nan, 0}, {nan, 2, 0}, {0, 0, 3}}, b[3][3] = {{inf, 1, 0}, {1, 2, 0}, {0, 0, -inf}};
  float d[3], v[3][3];
  eigen_symmetric3(a, d, v);  // must return; the values are meaningless
  eigen_symmetric3(b, d, v);
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
  const float want[6] = {1, 2, 0, 100, 5, 0};  // a zero eigenvalue never divides
  for (int k = 0; k < 6; k++) EXPECT_NEAR(x[k], want[k], 1e-5f * want[k]) << "axis " << k;
}

