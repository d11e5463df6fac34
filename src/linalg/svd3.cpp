#include "linalg/svd3.h"

#include <cmath>

#include "linalg/eigen3.h"

namespace {

// x0·y0 + x1·y1 + x2·y2, left to right.
double dot3(const double x[3], const double y[3])
{
    return x[0] * y[0] + x[1] * y[1] + x[2] * y[2];
}

void cross3(const double a[3], const double b[3], double out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void getColumn(const double M[3][3], int k, double c[3])
{
    for (int r = 0; r < 3; ++r)
        c[r] = M[r][k];
}

void setColumn(double M[3][3], int k, const double c[3])
{
    for (int r = 0; r < 3; ++r)
        M[r][k] = c[r];
}

// c0·(c1 × c2) of the columns.
double determinant3(const double M[3][3])
{
    double c0[3], c1[3], c2[3], n[3];
    getColumn(M, 0, c0);
    getColumn(M, 1, c1);
    getColumn(M, 2, c2);
    cross3(c1, c2, n);
    return dot3(c0, n);
}

// Column 2 of M becomes column 0 × column 1.
void completeByCross(double M[3][3])
{
    double c0[3], c1[3], c2[3];
    getColumn(M, 0, c0);
    getColumn(M, 1, c1);
    cross3(c0, c1, c2);
    setColumn(M, 2, c2);
}

// Column k of U is a unit vector orthogonal to the kept columns before it.
// Where AᵀA's eigenvalues are close, a small singular value is known only to
// about sqrt(epsilon) of the largest, and A·v / σ is then no unit vector.
bool columnIsSound(const double U[3][3], int k)
{
    double uk[3], ui[3];
    getColumn(U, k, uk);
    if (!(std::fabs(dot3(uk, uk) - 1.0) <= 1e-3))
        return false;
    for (int i = 0; i < k; ++i) {
        getColumn(U, i, ui);
        if (!(std::fabs(dot3(ui, uk)) <= 1e-3))
            return false;
    }
    return true;
}

// Only u0 and v0 are known (the points lie on a line): u1 is any unit vector
// across u0, v1 its image under the smallest rotation that takes u0 to v0.
void completeFromOneColumn(double U[3][3], double V[3][3])
{
    double u0[3], v0[3], u1[3], v1[3], a[3], k[3], ku[3], n[3];
    getColumn(U, 0, u0);
    getColumn(V, 0, v0);
    const double e[3] = {std::fabs(u0[0]) < 0.9 ? 1.0 : 0.0, std::fabs(u0[0]) < 0.9 ? 0.0 : 1.0, 0.0};
    cross3(u0, e, n);
    const double length = std::sqrt(dot3(n, n));
    for (int i = 0; i < 3; ++i)
        u1[i] = n[i] / length;
    cross3(u0, v0, a);
    const double c = dot3(u0, v0), s = std::sqrt(dot3(a, a));
    if (s > 1e-300) {
        for (int i = 0; i < 3; ++i)
            k[i] = a[i] / s;
        const double d = dot3(k, u1);
        cross3(k, u1, ku);
        for (int i = 0; i < 3; ++i)
            v1[i] = (u1[i] * c + ku[i] * s) + (k[i] * d) * (1.0 - c);
    } else {
        for (int i = 0; i < 3; ++i)
            v1[i] = c > 0 ? u1[i] : -u1[i];
    }
    setColumn(U, 1, u1);
    setColumn(V, 1, v1);
    completeByCross(U);
    completeByCross(V);
}

// The decomposition on plain arrays, shared by svd3 and the rotation fit.
// AᵀA is diagonalised (eigenvalues ascending; a negative rounding residue
// counts as 0), U = A·V column by column while each column is sound; the
// columns after the first unsound one are completed so that U and V stay
// proper rotations, and a full-rank fit that would mirror has its last
// column of U turned, so that V·Uᵀ is the nearest rotation.
bool decompose3(const double A[3][3], double S[3], double U[3][3], double V[3][3])
{
    // x − x is 0 for every finite x and NaN for an infinity or a NaN.
    double probe = 0.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            probe += A[r][c] - A[r][c];
    if (!(probe == 0.0))
        return false;
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
    for (double& l : lambda)
        if (l < 0.0)
            l = 0.0;
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
    int kept = 0;
    while (kept < 3 && svdTolerance < lambda[2 - kept]) {
        for (int r = 0; r < 3; ++r)
            U[r][kept] = U[r][kept] / S[kept];
        if (!columnIsSound(U, kept))
            break;
        ++kept;
    }
    if (kept == 3) {
        if (determinant3(U) * determinant3(V) < 0.0)
            for (int r = 0; r < 3; ++r)
                U[r][2] = -U[r][2];
    } else if (kept == 2) {
        completeByCross(U);
        completeByCross(V);
        S[2] = 0.0;
    } else if (kept == 1) {
        completeFromOneColumn(U, V);
        S[1] = S[2] = 0.0;
    } else {
        for (int r = 0; r < 3; ++r) {
            S[r] = 0.0;
            for (int c = 0; c < 3; ++c)
                U[r][c] = V[r][c] = r == c ? 1.0 : 0.0;
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
    resizeMatrix(R, 3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            R[r][c] = rotation[r][c];
    t = makeVector3(translation[0], translation[1], translation[2]);
    return true;
}
