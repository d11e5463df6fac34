#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "linalg/eigen3.h"
#include "linalg/svd3.h"
#include "skeleton/rig_fixture.h"

namespace {

Matrix matrix3(std::initializer_list<double> rowMajor)
{
    Matrix m = zeroMatrix3();
    for (std::size_t k = 0; k < 9; ++k)
        m[k / 3][k % 3] = rowMajor.begin()[k];
    return m;
}

using rigtest::maxDifference;

const Matrix identity = matrix3({1, 0, 0, 0, 1, 0, 0, 0, 1});

// Largest entry of RᵀR − I, or 1 when det R is not positive.
double rotationDefect(const Matrix& R)
{
    const double det = R[0][0] * (R[1][1] * R[2][2] - R[1][2] * R[2][1]) -
                       R[0][1] * (R[1][0] * R[2][2] - R[1][2] * R[2][0]) +
                       R[0][2] * (R[1][0] * R[2][1] - R[1][1] * R[2][0]);
    return det > 0.0 ? maxDifference(multiply(transpose(R), R), identity) : 1.0;
}

// Σ p·(truth·p)ᵀ over the points.
Matrix covarianceOf(const std::vector<Vector>& points, const Matrix& truth)
{
    Matrix a = zeroMatrix3();
    for (const Vector& p : points) {
        const Vector q = multiplyVector(truth, p);
        for (int r = 0; r < 3; ++r)
            for (int s = 0; s < 3; ++s)
                a[r][s] += p[r] * q[s];
    }
    return a;
}

// Rank-deficient and mirrored covariances still give a proper rotation that
// carries what the points do determine.
TEST(RotationFit, DegenerateAndMirroredCovariancesGiveRotations)
{
    const Matrix turn = rigtest::rotation(-0.5, 0.7, 0.2, 2.5);
    // A flat group tilted in the target: the plane's two directions fix the rotation.
    const Matrix flat = covarianceOf({makeVector3(1, 0, 0), makeVector3(-1, 0, 0), makeVector3(0, 2, 0),
                                      makeVector3(0, -2, 0), makeVector3(1, 1, 0), makeVector3(-1, -1, 0)},
                                     turn);
    // A collinear group: only the line's direction is fixed.
    const Matrix line = covarianceOf({makeVector3(1, 2, -1), makeVector3(-1, -2, 1)}, turn);
    struct Case {
        const char* name;
        Matrix a;
        Matrix expected; // empty: any rotation
        Vector carried, image; // R·carried = image (same length), where given
    };
    const Case cases[] = {
        {"flat", flat, turn, {}, {}},
        {"collinear", line, {}, makeVector3(1, 2, -1), multiplyVector(turn, makeVector3(1, 2, -1))},
        {"zero", zeroMatrix3(), identity, {}, {}},
        // λ(0) of this rank-2 matrix rounds below zero.
        {"rank 2", matrix3({10, 4, -8, 4, 4, 1, 6, 0, -9}), {}, {}, {}},
        {"rank 1, large", matrix3({2e3, -1e3, 2e3, 4e3, -2e3, 4e3, 4e3, -2e3, 4e3}), {}, makeVector3(1, 2, 2), makeVector3(2, -1, 2)},
        // The nearest orthogonal matrix is diag(1, 1, −1); the nearest rotation turns the weakest axis too.
        {"mirror", matrix3({1, 0, 0, 0, 2, 0, 0, 0, -3}), matrix3({-1, 0, 0, 0, 1, 0, 0, 0, -1}), {}, {}},
    };
    for (const Case& c : cases) {
        Matrix R;
        Vector t;
        ASSERT_TRUE(rotationFromCovariance(c.a, makeVector3(0, 0, 0), makeVector3(1, 2, 3), R, t)) << c.name;
        EXPECT_LE(rotationDefect(R), 1e-9) << c.name;
        if (!c.expected.empty()) {
            EXPECT_LE(maxDifference(R, c.expected), 1e-9) << c.name;
        }
        if (!c.carried.empty()) {
            const Vector image = multiplyVector(R, c.carried);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(image[i], c.image[i], 1e-9) << c.name;
        }
    }
}

// Points flat to 1e-9 of their size: the third singular value is rounding
// noise, and A·v / σ for it is no unit vector. The fit still gives a rotation
// that turns the plane as the points do.
TEST(RotationFit, NearlyFlatGroupsGiveRotations)
{
    std::mt19937_64 rng(0);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int trial = 0; trial < 30; ++trial) {
        const Matrix truth = rigtest::rotation(u(rng), u(rng), u(rng), 3 * u(rng));
        std::vector<Vector> points;
        for (int i = 0; i < 8; ++i)
            points.push_back(makeVector3(u(rng), 0.5 * u(rng), 1e-9 * u(rng)));
        Matrix R;
        Vector t;
        ASSERT_TRUE(rotationFromCovariance(covarianceOf(points, truth), makeVector3(0, 0, 0), makeVector3(0, 0, 0), R, t));
        EXPECT_LE(rotationDefect(R), 1e-3) << trial;
        EXPECT_LE(maxDifference(R, truth), 2e-3) << trial;
    }
}

// Only a covariance that is not finite is refused, with the outputs untouched.
TEST(Svd3, RefusesOnlyNonFiniteCovariances)
{
    Matrix S = identity, U = identity, V = identity;
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        EXPECT_FALSE(svd3(matrix3({1, 0, 0, 0, 1, 0, 0, 0, bad}), S, U, V));
        EXPECT_EQ(maxDifference(S, identity), 0.0);
    }
    EXPECT_TRUE(svd3(matrix3({1e300, 0, 0, 0, 1, 0, 0, 0, 1}), S, U, V)); // AᵀA overflows: not refused
}

// Well-conditioned covariances without a reflection keep the bits of the
// plain decomposition: sums in index order, the eigen solver's sweeps and its
// sign choices decide S, U and V (row by row) and so the fit's t.
TEST(Svd3, WellConditionedMatricesKeepTheirBits)
{
    const struct {
        double a[9], s[3], u[9], v[9], t[3];
    } cases[] = {
        {{1.5, 0.2, -0.3, 0.1, 2.0, 0.4, -0.2, 0.3, 0.9},
         {0x1.0e6eda32258c6p+1, 0x1.979ff887d9341p+0, 0x1.66b90e84cceedp-1},
         {0x1.1ffc23ea4f3p-3, -0x1.e1d1bf4636f37p-1, -0x1.3b0733a40b8c6p-2, 0x1.ec489e49b1f9ap-1, 0x1.c831af08cfa6ep-5,
          0x1.1397c3677e70fp-2, 0x1.e39bd379afd29p-3, 0x1.55a66c8b62eccp-2, -0x1.d3464649b99d7p-1},
         {0x1.f7c4695c58525p-4, -0x1.d98f6e1a268cbp-1, -0x1.705812c9c8e52p-2, 0x1.e9fe48a556931p-1,
          0x1.de9fd240914e2p-7, 0x1.289c9fc15ceb3p-2, 0x1.0cf6744cf246ap-2, 0x1.84fe02e487648p-2, -0x1.c62024d00e94ap-1},
         {0x1.c879f5f3223b3p-1, -0x1.31628a4de3dedp+0, 0x1.961bfa23798dp-3}},
        {{0.3, -2.0, 0.5, 1.7, 0.2, -0.4, 0.1, 0.6, 1.2},
         {0x1.0e7249a14454dp+1, 0x1.c402a17a80724p+0, 0x1.49a8642d5a6a5p+0},
         {-0x1.f489cb212df21p-1, -0x1.3c40670dd9f03p-8, 0x1.aecd15ec4e73cp-3, 0x1.2193f5c54399dp-5,
          -0x1.fa84c3d9ff9bbp-1, 0x1.21f9880476f1bp-3, 0x1.a8ca2b5db6b1ep-3, 0x1.2ab62d3d4818ap-3, 0x1.ef445475910efp-1},
         {-0x1.9bdad19ac2462p-4, -0x1.e3df1b95324ebp-1, 0x1.3e824614bc3bp-2, 0x1.f9abedb761653p-1,
          -0x1.d32eda03ecd46p-5, 0x1.2b00a92dbe2cp-3, -0x1.ec7e96ebf9031p-4, 0x1.499abf9b2391ep-2, 0x1.e0d3a5ece0a2bp-1},
         {0x1.7da92356bba74p-1, -0x1.07c00f09d85cep+0, 0x1.d1d67d7740a48p-3}},
        {{4, 1, 0, 1, 3, 1, 0, 1, 2}, // symmetric: R is I but for rounding
         {0x1.2ed9eba16132ap+2, 0x1.7ffffffffffffp+1, 0x1.4498517a7b35p+0},
         {-0x1.93cd3a2c8199p-1, 0x1.279a74590331ep-1, 0x1.b0cb174df99d2p-3, -0x1.279a74590331dp-1,
          -0x1.279a74590331ep-1, -0x1.279a745903325p-1, -0x1.b0cb174df99c8p-3, -0x1.279a74590331fp-1, 0x1.93cd3a2c81993p-1},
         {-0x1.93cd3a2c8199p-1, 0x1.279a74590331dp-1, 0x1.b0cb174df99cap-3, -0x1.279a74590331bp-1,
          -0x1.279a74590331cp-1, -0x1.279a74590331ep-1, -0x1.b0cb174df99cap-3, -0x1.279a74590332p-1, 0x1.93cd3a2c8198ep-1},
         {0x1.cccccccccccccp-1, -0x1.3333333333333p+0, 0x1.9999999999992p-3}},
    };
    for (const auto& c : cases) {
        Matrix A = zeroMatrix3(), S, U, V, R;
        Vector t;
        for (int k = 0; k < 9; ++k)
            A[k / 3][k % 3] = c.a[k];
        ASSERT_TRUE(svd3(A, S, U, V));
        for (int k = 0; k < 9; ++k) {
            EXPECT_EQ(S[k / 3][k % 3], k % 4 == 0 ? c.s[k / 4] : 0.0) << c.a[0] << " entry " << k;
            EXPECT_EQ(U[k / 3][k % 3], c.u[k]) << c.a[0] << " entry " << k;
            EXPECT_EQ(V[k / 3][k % 3], c.v[k]) << c.a[0] << " entry " << k;
        }
        ASSERT_TRUE(rotationFromCovariance(A, makeVector3(0.1, 0.2, 0.3), makeVector3(1, -1, 0.5), R, t));
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(t[k], c.t[k]) << c.a[0];
    }
}

TEST(Eigen3, RandomSymmetricMatricesAreReproduced)
{
    std::mt19937_64 rng(11);
    std::normal_distribution<double> normal;
    for (int trial = 0; trial < 5000; ++trial) {
        double A[3][3], V[3][3], d[3], norm = 0.0;
        double scale = std::pow(10.0, double(int(rng() % 13)) - 6.0);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j <= i; ++j) {
                double v = normal(rng);
                A[i][j] = A[j][i] = (trial % 3 == 0 ? std::round(v) : v) * scale; // rounding repeats eigenvalues
                norm = std::fmax(norm, std::fabs(A[i][j]));
            }
        std::memcpy(V, A, sizeof V);
        eigenSymmetric3(V, d);
        ASSERT_LE(d[0], d[1]);
        ASSERT_LE(d[1], d[2]);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                double fit = 0.0, dot = 0.0; // V·diag(d)·Vᵀ and VᵀV
                for (int k = 0; k < 3; ++k) {
                    fit += V[i][k] * d[k] * V[j][k];
                    dot += V[k][i] * V[k][j];
                }
                ASSERT_NEAR(fit, A[i][j], 1e-12 * norm) << "trial " << trial;
                ASSERT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-12) << "trial " << trial;
            }
    }
}

} // namespace
