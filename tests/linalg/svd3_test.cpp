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

TEST(Svd3, DiagonalZeroAndRankDeficientCases)
{
    Matrix S, U, V, R;
    Vector t;
    ASSERT_TRUE(svd3(identity, S, U, V));
    EXPECT_EQ(maxDifference(S, identity), 0.0);
    EXPECT_LE(maxDifference(multiply(U, transpose(V)), identity), 1e-15);
    ASSERT_TRUE(svd3(matrix3({3, 0, 0, 0, 2, 0, 0, 0, 1}), S, U, V));
    EXPECT_EQ(maxDifference(S, matrix3({3, 0, 0, 0, 2, 0, 0, 0, 1})), 0.0);

    // Zero tolerance and zero eigenvalues: every direction becomes its unit axis.
    ASSERT_TRUE(rotationFromCovariance(zeroMatrix3(), makeVector3(1, 2, 3), makeVector3(1, 2, 4), R, t));
    EXPECT_EQ(maxDifference(R, identity), 0.0);
    EXPECT_EQ(t[2], 1.0);

    ASSERT_TRUE(svd3(matrix3({2, 0, 0, 0, 1, 0, 0, 0, 0}), S, U, V));
    EXPECT_EQ(maxDifference(S, matrix3({2, 0, 0, 0, 1, 0, 0, 0, 0})), 0.0);
    EXPECT_EQ(maxDifference(U, identity), 0.0);
    EXPECT_EQ(maxDifference(V, identity), 0.0);

    // Rank one, u·vᵀ with |u| = |v| = 3: σ0 = 9·scale; the null directions
    // overwrite rows and columns 1 and 2, first columns included.
    ASSERT_TRUE(svd3(matrix3({2e-3, -1e-3, 2e-3, 4e-3, -2e-3, 4e-3, 4e-3, -2e-3, 4e-3}), S, U, V));
    EXPECT_NEAR(S[0][0], 9e-3, 1e-17);
    EXPECT_EQ(S[1][1], 0.0);
    EXPECT_EQ(S[2][2], 0.0);
    EXPECT_NEAR(std::fabs(U[0][0]), 1.0 / 3, 1e-15);
    EXPECT_NEAR(std::fabs(V[0][0]), 2.0 / 3, 1e-15);
    EXPECT_EQ(maxDifference(U, matrix3({U[0][0], 0, 0, 0, 1, 0, 0, 0, 1})), 0.0);
    EXPECT_EQ(maxDifference(V, matrix3({V[0][0], 0, 0, 0, 1, 0, 0, 0, 1})), 0.0);

    // At this scale λ(0) comes out slightly negative: refused, outputs untouched.
    Matrix before = S;
    EXPECT_FALSE(svd3(matrix3({2e3, -1e3, 2e3, 4e3, -2e3, 4e3, 4e3, -2e3, 4e3}), S, U, V));
    EXPECT_EQ(maxDifference(S, before), 0.0);
    EXPECT_EQ(U[1][1], 1.0);
    // A NaN covariance fails every tolerance test and ends at the identity.
    ASSERT_TRUE(rotationFromCovariance(matrix3({0, 0, 0, 0, 0, std::nan(""), 0, 0, 0}), makeVector3(0, 0, 0), makeVector3(1, 2, 3), R, t));
    EXPECT_EQ(maxDifference(R, identity), 0.0);
}

TEST(RotationFit, RecoversRigidMotionAndKeepsReflections)
{
    std::mt19937_64 rng(21);
    std::normal_distribution<double> normal;
    for (int trial = 0; trial < 200; ++trial) {
        const Matrix truth = rigtest::rotation(normal(rng), normal(rng), normal(rng), 3 * normal(rng));
        const Matrix mirror = multiply(truth, matrix3({1, 0, 0, 0, 1, 0, 0, 0, -1}));
        const Vector shift = makeVector3(normal(rng), normal(rng), normal(rng));
        // Points in ± pairs, so the centroids are 0 and the shift.
        Matrix a = zeroMatrix3(), b = zeroMatrix3();
        for (int i = 0; i < 6; ++i) {
            const Vector p = makeVector3(normal(rng), normal(rng), normal(rng)), moved = multiplyVector(truth, p),
                         flipped = multiplyVector(mirror, p);
            for (int r = 0; r < 3; ++r)
                for (int s = 0; s < 3; ++s)
                    a[r][s] += 2 * p[r] * moved[s], b[r][s] += 2 * p[r] * flipped[s];
        }
        Matrix R;
        Vector t;
        ASSERT_TRUE(rotationFromCovariance(a, makeVector3(0, 0, 0), shift, R, t));
        EXPECT_LE(maxDifference(R, truth), 1e-9);
        EXPECT_EQ(t[0], shift[0]);
        ASSERT_TRUE(rotationFromCovariance(b, makeVector3(0, 0, 0), shift, R, t));
        EXPECT_LE(maxDifference(R, mirror), 1e-9); // det −1, kept as it is
    }
}

TEST(RotationFit, ResultBitsArePinned)
{
    Matrix R;
    Vector t;
    ASSERT_TRUE(rotationFromCovariance(matrix3({1.5, 0.2, -0.3, 0.1, 2.0, 0.4, -0.2, 0.3, 0.9}),
                                       makeVector3(0.1, 0.2, 0.3), makeVector3(1, -1, 0.5), R, t));
    const double expectedR[3][3] = {{0x1.ff28ebd90eec9p-1, -0x1.ec8e8714aa99cp-6, 0x1.8f4205da1cfp-5},
                                    {0x1.03d0ed98c7a78p-5, 0x1.ff74790c2852fp-1, -0x1.12666495a92dcp-5},
                                    {-0x1.869561f582668p-5, 0x1.1e9cccea8434cp-5, 0x1.ff1a990dc7ea7p-1}};
    const double expectedT[3] = {0x1.c879f5f3223b3p-1, -0x1.31628a4de3dedp+0, 0x1.961bfa23798dp-3};
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(t[r], expectedT[r]);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(R[r][c], expectedR[r][c]);
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

// The random matrices settle order and reproduction; a zero matrix keeps the axes.
TEST(Eigen3, ZeroMatrixGivesTheAxes)
{
    double Z[3][3] = {}, dz[3];
    eigenSymmetric3(Z, dz);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(dz[i], 0.0);
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(Z[i][j], i == j ? 1.0 : 0.0);
    }
}

} // namespace
