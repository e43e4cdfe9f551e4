// Householder tridiagonalisation plus implicit QL with shifts, the classic
// pair of routines for dense symmetric matrices, specialised to n = 3 and
// carried out in float32.
#include "geometry/dense_solvers.h"

#include <cfloat>
#include <cmath>

namespace {

constexpr int kN = 3;
// A 3 x 3 tridiagonal matrix converges in two or three sweeps per eigenvalue;
// the cap only guarantees termination on NaN or pathological input.
constexpr int kMaxSweeps = 64;

// sqrt(a^2 + b^2) without overflow or destructive underflow.
float hypotenuse(float a, float b) {
  a = std::fabs(a);
  b = std::fabs(b);
  if (a > b) {
    float r = b / a;
    return a * std::sqrt(1.0f + r * r);
  }
  if (b > 0.0f) {
    float r = a / b;
    return b * std::sqrt(1.0f + r * r);
  }
  return 0.0f;
}

// Reduces v (holding the matrix) to tridiagonal form: on return d is the
// diagonal, e[1..2] the sub-diagonal (e[0] = 0) and v the accumulated
// orthogonal transformation.
void tridiagonalize(float v[kN][kN], float d[kN], float e[kN]) {
  for (int j = 0; j < kN; j++) d[j] = v[kN - 1][j];

  for (int i = kN - 1; i > 0; i--) {
    float scale = 0.0f, h = 0.0f;
    for (int k = 0; k < i; k++) scale += std::fabs(d[k]);
    if (scale == 0.0f) {
      e[i] = d[i - 1];
      for (int j = 0; j < i; j++) {
        d[j] = v[i - 1][j];
        v[i][j] = 0.0f;
        v[j][i] = 0.0f;
      }
    } else {
      // Householder vector of row i, scaled against underflow.
      for (int k = 0; k < i; k++) {
        d[k] /= scale;
        h += d[k] * d[k];
      }
      float f = d[i - 1];
      float g = std::sqrt(h);
      if (f > 0.0f) g = -g;
      e[i] = scale * g;
      h -= f * g;
      d[i - 1] = f - g;
      for (int j = 0; j < i; j++) e[j] = 0.0f;

      // Apply the similarity transformation to the remaining columns.
      for (int j = 0; j < i; j++) {
        f = d[j];
        v[j][i] = f;
        g = e[j] + v[j][j] * f;
        for (int k = j + 1; k <= i - 1; k++) {
          g += v[k][j] * d[k];
          e[k] += v[k][j] * f;
        }
        e[j] = g;
      }
      f = 0.0f;
      for (int j = 0; j < i; j++) {
        e[j] /= h;
        f += e[j] * d[j];
      }
      float hh = f / (h + h);
      for (int j = 0; j < i; j++) e[j] -= hh * d[j];
      for (int j = 0; j < i; j++) {
        f = d[j];
        g = e[j];
        for (int k = j; k <= i - 1; k++) v[k][j] -= (f * e[k] + g * d[k]);
        d[j] = v[i - 1][j];
        v[i][j] = 0.0f;
      }
    }
    d[i] = h;
  }

  // Accumulate the transformations.
  for (int i = 0; i < kN - 1; i++) {
    v[kN - 1][i] = v[i][i];
    v[i][i] = 1.0f;
    float h = d[i + 1];
    if (h != 0.0f) {
      for (int k = 0; k <= i; k++) d[k] = v[k][i + 1] / h;
      for (int j = 0; j <= i; j++) {
        float g = 0.0f;
        for (int k = 0; k <= i; k++) g += v[k][i + 1] * v[k][j];
        for (int k = 0; k <= i; k++) v[k][j] -= g * d[k];
      }
    }
    for (int k = 0; k <= i; k++) v[k][i + 1] = 0.0f;
  }
  for (int j = 0; j < kN; j++) {
    d[j] = v[kN - 1][j];
    v[kN - 1][j] = 0.0f;
  }
  v[kN - 1][kN - 1] = 1.0f;
  e[0] = 0.0f;
}

// Diagonalises the tridiagonal matrix (d, e) by implicit QL sweeps, rotating
// the columns of v along.
void ql_iterate(float v[kN][kN], float d[kN], float e[kN]) {
  for (int i = 1; i < kN; i++) e[i - 1] = e[i];
  e[kN - 1] = 0.0f;

  float f = 0.0f, tst1 = 0.0f;
  const float eps = FLT_EPSILON;
  for (int l = 0; l < kN; l++) {
    // Find a small sub-diagonal element. The bound m < kN - 1 keeps the
    // search in range even when a NaN makes every comparison false.
    tst1 = std::fmax(tst1, std::fabs(d[l]) + std::fabs(e[l]));
    int m = l;
    while (m < kN - 1 && !(std::fabs(e[m]) <= eps * tst1)) m++;

    if (m > l) {
      int sweeps = 0;
      do {
        sweeps++;
        // Shift from the leading 2 x 2 block.
        float g = d[l];
        float p = (d[l + 1] - g) / (2.0f * e[l]);
        float r = hypotenuse(p, 1.0f);
        if (p < 0.0f) r = -r;
        d[l] = e[l] / (p + r);
        d[l + 1] = e[l] * (p + r);
        float dl1 = d[l + 1];
        float h = g - d[l];
        for (int i = l + 2; i < kN; i++) d[i] -= h;
        f += h;

        // Implicit QL transformation.
        p = d[m];
        float c = 1.0f, c2 = 1.0f, c3 = 1.0f;
        float el1 = e[l + 1];
        float s = 0.0f, s2 = 0.0f;
        for (int i = m - 1; i >= l; i--) {
          c3 = c2;
          c2 = c;
          s2 = s;
          g = c * e[i];
          h = c * p;
          r = hypotenuse(p, e[i]);
          e[i + 1] = s * r;
          s = e[i] / r;
          c = p / r;
          p = c * d[i] - s * g;
          d[i + 1] = h + s * (c * g + s * d[i]);
          for (int k = 0; k < kN; k++) {
            h = v[k][i + 1];
            v[k][i + 1] = s * v[k][i] + c * h;
            v[k][i] = c * v[k][i] - s * h;
          }
        }
        p = -s * s2 * c3 * el1 * e[l] / dl1;
        e[l] = s * p;
        d[l] = c * p;
      } while (std::fabs(e[l]) > eps * tst1 && sweeps < kMaxSweeps);
    }
    d[l] += f;
    e[l] = 0.0f;
  }
}

// Ascending selection sort of the eigenvalues, columns of v following; strict
// less-than, so equal eigenvalues keep their order.
void sort_ascending(float v[kN][kN], float d[kN]) {
  for (int i = 0; i < kN - 1; i++) {
    int k = i;
    float p = d[i];
    for (int j = i + 1; j < kN; j++) {
      if (d[j] < p) {
        k = j;
        p = d[j];
      }
    }
    if (k != i) {
      d[k] = d[i];
      d[i] = p;
      for (int j = 0; j < kN; j++) {
        float t = v[j][i];
        v[j][i] = v[j][k];
        v[j][k] = t;
      }
    }
  }
}

}  // namespace

void eigen_symmetric3(const float a[3][3], float d[3], float v[3][3]) {
  float e[kN];
  for (int i = 0; i < kN; i++)
    for (int j = 0; j < kN; j++) v[i][j] = a[i][j];
  tridiagonalize(v, d, e);
  ql_iterate(v, d, e);
  sort_ascending(v, d);
}
