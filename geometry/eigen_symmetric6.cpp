// Cyclic Jacobi rotations in double precision: for a 6 x 6 system a handful
// of sweeps reach machine precision, and the method needs no special cases
// for repeated or zero eigenvalues, which planar pair sets produce.
#include "geometry/dense_solvers.h"

#include <cmath>

namespace {

const int kN = 6;
const int kMaxSweeps = 50;

}  // namespace

void eigen_symmetric6(const float a_in[6][6], float evals[6], float evecs[6][6]) {
  double a[kN][kN], v[kN][kN];
  for (int r = 0; r < kN; r++) {
    for (int c = 0; c < kN; c++) {
      a[r][c] = r <= c ? a_in[r][c] : a_in[c][r];
      v[r][c] = r == c ? 1.0 : 0.0;
    }
  }
  for (int sweep = 0; sweep < kMaxSweeps; sweep++) {
    double off = 0.0, diag = 0.0;
    for (int r = 0; r < kN; r++) {
      diag += a[r][r] * a[r][r];
      for (int c = r + 1; c < kN; c++) off += a[r][c] * a[r][c];
    }
    // Converged once the off-diagonal mass is negligible next to the diagonal.
    if (off == 0.0 || off <= 1e-30 * diag) break;
    for (int p = 0; p < kN; p++) {
      for (int q = p + 1; q < kN; q++) {
        if (a[p][q] == 0.0) continue;
        double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
        double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (int k = 0; k < kN; k++) {
          double akp = a[k][p], akq = a[k][q];
          a[k][p] = c * akp - s * akq;
          a[k][q] = s * akp + c * akq;
        }
        for (int k = 0; k < kN; k++) {
          double apk = a[p][k], aqk = a[q][k];
          a[p][k] = c * apk - s * aqk;
          a[q][k] = s * apk + c * aqk;
        }
        for (int k = 0; k < kN; k++) {
          double vkp = v[k][p], vkq = v[k][q];
          v[k][p] = c * vkp - s * vkq;
          v[k][q] = s * vkp + c * vkq;
        }
      }
    }
  }
  // Ascending order by selection; ties keep their index order.
  int order[kN];
  for (int k = 0; k < kN; k++) order[k] = k;
  for (int i = 0; i < kN; i++) {
    int best = i;
    for (int j = i + 1; j < kN; j++)
      if (a[order[j]][order[j]] < a[order[best]][order[best]]) best = j;
    int tmp = order[i];
    order[i] = order[best];
    order[best] = tmp;
  }
  for (int k = 0; k < kN; k++) {
    evals[k] = float(a[order[k]][order[k]]);
    for (int r = 0; r < kN; r++) evecs[r][k] = float(v[r][order[k]]);
  }
}

void damped_solve6(const float evals[6], const float evecs[6][6], const float b[6],
                   float min_ratio, float x[6]) {
  float floor = min_ratio * evals[5];
  float proj[6];
  for (int k = 0; k < kN; k++) {
    bool damped = evals[k] < floor || evals[k] <= 0.0f;
    float vb = 0.0f;
    for (int r = 0; r < kN; r++) vb += evecs[r][k] * b[r];
    proj[k] = damped ? 0.0f : vb / evals[k];
  }
  for (int r = 0; r < kN; r++) {
    float sum = 0.0f;
    for (int k = 0; k < kN; k++) sum += evecs[r][k] * proj[k];
    x[r] = sum;
  }
}
