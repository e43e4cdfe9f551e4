// Eigen-decomposition of a symmetric 6 x 6 matrix, as the point-to-plane
// solver and the sampling distributions need it.
#pragma once

// Eigenvalues of the symmetric matrix `a` (only its upper triangle is read)
// in ascending order, and the matching orthonormal eigenvectors as the
// columns of `evecs` (evecs[row][k] belongs to evals[k]). Deterministic;
// a zero matrix gives zero eigenvalues and the identity as eigenvectors.
void eigen_symmetric6(const float a[6][6], float evals[6], float evecs[6][6]);

// x = V diag(inv) V^T b with inv[k] = 1 / evals[k], except 0 where
// evals[k] < min_ratio * evals[5] (the largest) or evals[k] <= 0: motions
// along poorly determined eigenvectors are left at zero.
void damped_solve6(const float evals[6], const float evecs[6][6], const float b[6],
                   float min_ratio, float x[6]);
