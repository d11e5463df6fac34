// 3x3 singular value decomposition through the eigen-decomposition of AᵀA,
// and the rigid rotation fit built on it.
#pragma once

#include "linalg/dense.h"

// A (3x3) = U·S·Vᵀ with S = diag(σ0 ≥ σ1 ≥ σ2 ≥ 0), U and V rotations
// (det +1). Where A is rank deficient or its small singular values are lost
// in rounding (thin and flat point sets), the missing columns of U and V are
// completed so that V·Uᵀ is still a rotation and S holds 0 for them; where the
// nearest orthogonal V·Uᵀ would be a reflection, column 2 of U is turned
// (then A = U·S'·Vᵀ with σ2 negated). Returns false (S, U, V untouched) only
// when an entry of A is not finite.
bool svd3(const Matrix& A, Matrix& S, Matrix& U, Matrix& V);

// Rotation and translation from a 3x3 cross-covariance A (rows from the
// centred source points, columns from the centred target points):
// R = V·Uᵀ, always a proper rotation, and t = targetCentroid − R·sourceCentroid.
// Returns false, leaving R and t untouched, when svd3 refuses A (not finite).
bool rotationFromCovariance(const Matrix& A, const Vector& sourceCentroid, const Vector& targetCentroid,
                            Matrix& R, Vector& t);

// The same on plain arrays, without the Matrix and Vector temporaries, for
// the loops that fit a rotation per bone and frame. Same bits.
bool rotationFromCovariance3(const double A[3][3], const double sourceCentroid[3], const double targetCentroid[3],
                             double R[3][3], double t[3]);
