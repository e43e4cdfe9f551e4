#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "geometry/Vec.h"
#include "mesh/eigen3.h"

TEST(Eigen3, DecomposesSymmetricMatricesAscending) {
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

TEST(Eigen3, NonFiniteInputTerminates) {
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
