// Eigen-decomposition of a real symmetric 3x3 matrix: Householder reduction
// to tridiagonal form, then the QL algorithm with implicit shifts.
#pragma once

// V: on entry the symmetric matrix (only the lower triangle and the diagonal
// are read), on exit the orthonormal eigenvectors in its columns.
// d: on exit the eigenvalues in ascending order; column j of V belongs to d[j].
void eigenSymmetric3(double V[3][3], double d[3]);

// Householder reduction: d gets the diagonal, e[1], e[2] the subdiagonal
// (e[0] = 0) and V the accumulated orthogonal transformation.
void tridiagonalize3(double V[3][3], double d[3], double e[3]);

// Diagonalises the tridiagonal form: eigenvalues ascending in d, eigenvectors
// in the columns of V. At most 30 iterations per eigenvalue.
void tridiagonalQL3(double V[3][3], double d[3], double e[3]);
