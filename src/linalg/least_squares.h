// Small dense least-squares solvers on the normal equations: an unconstrained
// solve and an active-set solve constrained to x ≥ 0 with a fixed sum.
#pragma once

#include "linalg/dense.h"

// Gaussian elimination with partial pivoting on the n x n system M·x = b,
// both overwritten. Returns false as soon as a multiplier is NaN.
bool gaussEliminate(Matrix& M, Vector& b);

// Solves the upper triangular system left by gaussEliminate; x is resized to n.
void backSubstitute(const Matrix& M, const Vector& b, Vector& x);

// min |A·x − b|² through AᵀA·x = Aᵀb. x keeps its contents when elimination fails.
void solveLeastSquares(const Matrix& A, const Vector& b, Vector& x);

// Orthonormal bases N_k (k x (k−1)) of the zero-sum k-vectors, k = 1 .. K,
// and their transposes. Rebuilt from scratch by every call.
extern std::vector<Matrix> zeroSumBases;
extern std::vector<Matrix> zeroSumBasesTransposed;
void buildZeroSumBases(int K);

// min |A·x − b|² over x ≥ 0 with Σx kept at its value on entry (x holds a
// feasible start on entry, the result on exit). Needs buildZeroSumBases(K ≥ n).
void solveSimplexLeastSquares(const Matrix& A, const Vector& b, Vector& x);

// The same solve given H = AᵀA and f = Aᵀb directly (the objective is
// ½·xᵀHx − fᵀx); solveSimplexLeastSquares forms them (bit for bit the values
// of gramMatrix and multiplyTransposedVector) and calls this. Ends at the
// optimum, on a blocked step shorter than 1e-28, when no fixed variable is
// left to release, or after 1000 iterations; a singular reduced system on
// the free variables gives no step rather than NaN.
void solveSimplexNormal(const Matrix& H, const Vector& f, Vector& x);
