#include "linalg/svd3.h"

#include <cmath>

#include "linalg/eigen3.h"

namespace {

// The decomposition on plain arrays, shared by svd3 and the rotation fit.
// AᵀA is diagonalised (eigenvalues ascending); a negative smallest eigenvalue
// is refused. The eigenvalue itself, not its root, is compared with the
// tolerance; a null direction (or an unordered comparison) becomes a unit axis
// in U and V.
bool decompose3(const double A[3][3], double S[3], double U[3][3], double V[3][3])
{
    double G[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k)
                sum += A[k][i] * A[k][j];
            G[i][j] = sum;
        }
    double lambda[3];
    eigenSymmetric3(G, lambda);
    if (lambda[0] < 0)
        return false;
    for (int k = 0; k < 3; ++k)
        S[k] = std::sqrt(lambda[2 - k]);
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            V[r][k] = G[r][2 - k];
    double sumSquares = 0.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            sumSquares = sumSquares + A[r][c] * A[r][c];
    const double svdTolerance = 1e-16 * std::sqrt(sumSquares / 9.0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k)
                sum += A[r][k] * V[k][c];
            U[r][c] = sum;
        }
    for (int k = 0; k < 3; ++k) {
        if (svdTolerance < lambda[2 - k]) {
            for (int r = 0; r < 3; ++r)
                U[r][k] = U[r][k] / S[k];
        } else {
            for (int j = 0; j < 3; ++j) {
                U[k][j] = 0.0;
                U[j][k] = 0.0;
                V[k][j] = 0.0;
                V[j][k] = 0.0;
            }
            U[k][k] = 1.0;
            V[k][k] = 1.0;
            S[k] = 0.0;
        }
    }
    return true;
}


} // namespace

bool svd3(const Matrix& A, Matrix& S, Matrix& U, Matrix& V)
{
    double a[3][3], s[3], u[3][3], v[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            a[r][c] = A[r][c];
    if (!decompose3(a, s, u, v))
        return false;
    S = zeroMatrix3();
    U = zeroMatrix3();
    resizeMatrix(V, 3, 3);
    for (int r = 0; r < 3; ++r) {
        S[r][r] = s[r];
        for (int c = 0; c < 3; ++c) {
            U[r][c] = u[r][c];
            V[r][c] = v[r][c];
        }
    }
    return true;
}

bool rotationFromCovariance3(const double A[3][3], const double sourceCentroid[3], const double targetCentroid[3],
                             double R[3][3], double t[3])
{
    double S[3], U[3][3], V[3][3];
    if (!decompose3(A, S, U, V))
        return false;
    // R = V·Uᵀ, t = target − R·source, each sum from 0.0 over k ascending.
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k)
                sum += V[r][k] * U[c][k];
            R[r][c] = sum;
        }
    for (int i = 0; i < 3; ++i) {
        double sum = 0.0;
        for (int k = 0; k < 3; ++k)
            sum += R[i][k] * sourceCentroid[k];
        t[i] = targetCentroid[i] - sum;
    }
    return true;
}

bool rotationFromCovariance(const Matrix& A, const Vector& sourceCentroid, const Vector& targetCentroid,
                            Matrix& R, Vector& t)
{
    double a[3][3], source[3], target[3], rotation[3][3], translation[3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            a[r][c] = A[r][c];
    for (int k = 0; k < 3; ++k) {
        source[k] = sourceCentroid[k];
        target[k] = targetCentroid[k];
    }
    if (!rotationFromCovariance3(a, source, target, rotation, translation))
        return false;
    // No reflection correction: a determinant of −1 is kept as it is.
    resizeMatrix(R, 3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            R[r][c] = rotation[r][c];
    t = makeVector3(translation[0], translation[1], translation[2]);
    return true;
}
