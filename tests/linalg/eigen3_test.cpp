#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "linalg/eigen3.h"

namespace {

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
