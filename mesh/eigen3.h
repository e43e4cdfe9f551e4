// Eigen-decomposition of a symmetric 3 x 3 matrix in single precision:
// Householder reduction to tridiagonal form followed by the implicit QL
// iteration, then an ascending selection sort of the eigenvalues.
#pragma once

// Input: `a`, a symmetric matrix, row-major (only its values are read; it is
// not modified). Output: `d`, the eigenvalues in ascending order, and `v`,
// whose column j (v[0][j], v[1][j], v[2][j]) is the unit eigenvector of d[j].
// Column 0 therefore belongs to the smallest eigenvalue.
//
// Always terminates: each eigenvalue gets a bounded number of QL sweeps. With
// a NaN or infinite entry the outputs hold NaNs but stay in bounds.
void eigen_symmetric3(const float a[3][3], float d[3], float v[3][3]);
