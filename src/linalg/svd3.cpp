#include "linalg/svd3.h"

#include <cmath>

#include "linalg/eigen3.h"

bool svd3(const Matrix& A, Matrix& S, Matrix& U, Matrix& V)
{
    // Eigen-decomposition of AᵀA: eigenvalues ascending, eigenvectors in columns.
    Matrix gram = gramMatrix(A);
    double G[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            G[r][c] = gram[r][c];
    double lambda[3];
    eigenSymmetric3(G, lambda);

    // A negative residue of a singular AᵀA is refused; zero is accepted.
    if (lambda[0] < 0)
        return false;

    S = zeroMatrix3();
    for (int k = 0; k < 3; ++k)
        S[k][k] = std::sqrt(lambda[2 - k]);

    // V's columns follow the descending singular values.
    resizeMatrix(V, 3, 3);
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            V[r][k] = G[r][2 - k];

    double sumSquares = 0.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            sumSquares = sumSquares + A[r][c] * A[r][c];
    const double svdTolerance = 1e-16 * std::sqrt(sumSquares / 9.0);

    U = multiply(A, V);
    for (int k = 0; k < 3; ++k) {
        // The eigenvalue itself, not its root, is compared with the tolerance.
        if (svdTolerance < lambda[2 - k]) {
            for (int r = 0; r < 3; ++r)
                U[r][k] = U[r][k] / S[k][k];
        } else {
            // Null direction (or an unordered comparison): a unit axis in U and V.
            for (int j = 0; j < 3; ++j) {
                U[k][j] = 0.0;
                U[j][k] = 0.0;
                V[k][j] = 0.0;
                V[j][k] = 0.0;
            }
            U[k][k] = 1.0;
            V[k][k] = 1.0;
            S[k][k] = 0.0;
        }
    }
    return true;
}

bool rotationFromCovariance(const Matrix& A, const Vector& sourceCentroid, const Vector& targetCentroid,
                            Matrix& R, Vector& t)
{
    Matrix S, U, V;
    if (!svd3(A, S, U, V))
        return false;
    // No reflection correction: a determinant of −1 is kept as it is.
    R = multiply(V, transpose(U));
    t = subtractVector3(targetCentroid, multiplyVector(R, sourceCentroid));
    return true;
}
