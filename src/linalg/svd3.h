// 3x3 singular value decomposition through the eigen-decomposition of AᵀA,
// and the rigid rotation fit built on it.
#pragma once

#include "linalg/dense.h"

// A = U·S·Vᵀ with S = diag(σ0 ≥ σ1 ≥ σ2 ≥ 0). Returns false (S, U, V
// untouched) when the smallest eigenvalue of AᵀA is negative.
bool svd3(const Matrix& A, Matrix& S, Matrix& U, Matrix& V);

// Rotation and translation from a 3x3 cross-covariance A (rows from the
// centred source points, columns from the centred target points):
// R = V·Uᵀ (a reflection is kept as it is) and t = targetCentroid − R·sourceCentroid.
// Returns false, leaving R and t untouched, when svd3 refuses A.
bool rotationFromCovariance(const Matrix& A, const Vector& sourceCentroid, const Vector& targetCentroid,
                            Matrix& R, Vector& t);

// The same on plain arrays, without the Matrix and Vector temporaries, for
// the loops that fit a rotation per bone and frame. Same bits.
bool rotationFromCovariance3(const double A[3][3], const double sourceCentroid[3], const double targetCentroid[3],
                             double R[3][3], double t[3]);
