#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "linalg/least_squares.h"
#include "linalg/svd3.h"

namespace {

Matrix randomMatrix(std::mt19937_64& rng, std::size_t rows, std::size_t columns)
{
    std::normal_distribution<double> normal;
    Matrix a;
    resizeMatrix(a, rows, columns);
    for (Vector& row : a)
        for (double& v : row)
            v = normal(rng);
    return a;
}

// Non-negative, summing to one, some entries exactly 0.
Vector randomStart(std::mt19937_64& rng, std::size_t n)
{
    Vector x(n);
    double sum = 0.0;
    for (double& v : x)
        sum += v = rng() % 4 == 0 ? 0.0 : std::uniform_real_distribution<double>()(rng);
    if (sum == 0.0)
        x[0] = sum = 1.0;
    for (double& v : x)
        v = v / sum;
    return x;
}

TEST(LeastSquares, EliminationExchangesRowsAndRefusesZeroColumns)
{
    Matrix m = Matrix{{0, 1}, {1, 0}};
    Vector b = {2, 3}, x;
    ASSERT_TRUE(gaussEliminate(m, b));
    backSubstitute(m, b, x);
    EXPECT_EQ(x[0], 3);
    EXPECT_EQ(x[1], 2);

    Vector kept = makeVector3(7, 8, 9);
    solveLeastSquares(Matrix{{1, 0, 5}, {2, 0, 1}, {3, 0, 2}, {4, 0, 1}}, Vector{1, 2, 3, 4}, kept);
    EXPECT_EQ(kept[1], 8);
}

TEST(LeastSquares, SimplexSmallExamples)
{
    buildZeroSumBases(4);
    Vector x = {1.0};
    solveSimplexLeastSquares(Matrix{{3}, {-1}}, Vector{100, 7}, x);
    EXPECT_EQ(x[0], 1.0);

    // Each case: b, start, expected result.
    const double cases[][6] = {{0.8, 0.2, 0.5, 0.5, 0.8, 0.2},
                               {2, -1, 0.5, 0.5, 1, 0},          // blocked at α = 1/3, then x1 fixed
                               {0.2, 0.8, 1, 0, 0.2, 0.8},       // fixed x1 released by the multiplier test
                               {1.5, -0.5, 1, 0, 1, 0},          // ... and kept where releasing cannot help
                               {1.5, -0.5, 1 - 1e-12, 1e-12, 1, 0},  // 1e-12 is free, then fixed at 0
                               {1.5, -0.5, 1 - 1e-15, 1e-15, 1 - 1e-15, 1e-15}}; // below 1e-14: fixed where it is
    for (const double* c : cases) {
        x = {c[2], c[3]};
        solveSimplexLeastSquares(Matrix{{1, 0}, {0, 1}}, Vector{c[0], c[1]}, x);
        EXPECT_NEAR(x[0], c[4], 1e-15);
        EXPECT_EQ(x[1] == 0.0, c[5] == 0.0);
        EXPECT_NEAR(x[1], c[5], 1e-15);
    }

    // Identical columns leave a singular reduced system: no step, no NaN.
    x = {0.25, 0.75};
    solveSimplexLeastSquares(Matrix{{1, 1}, {2, 2}}, Vector{1, 0}, x);
    EXPECT_EQ(x[0], 0.25);
    EXPECT_EQ(x[1], 0.75);
}

TEST(LeastSquares, SimplexRandomProblemsAreOptimal)
{
    std::mt19937_64 rng(8);
    buildZeroSumBases(8);
    for (int trial = 0; trial < 3000; ++trial) {
        std::size_t n = 2 + rng() % 7;
        Matrix a = randomMatrix(rng, n + rng() % 12, n);
        Vector b = multiplyVector(a, randomStart(rng, n)), x = randomStart(rng, n);
        for (double& v : b)
            v += 0.5 * std::normal_distribution<double>()(rng);
        solveSimplexLeastSquares(a, b, x);
        // On the simplex (checked with the odd inputs below) and no pair
        // direction e_i − e_j with x_j > 0 lowers the objective.
        Vector g = multiplyVector(gramMatrix(a), x), f = multiplyTransposedVector(a, b);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j) {
                if (x[j] > 0) {
                    ASSERT_GE((g[i] - f[i]) - (g[j] - f[j]), -1e-9) << "trial " << trial;
                }
            }
    }
}

// Equal pivot candidates (the first wins), sums in index order, the blocked
// step and the release all decide the last bits of every weight.
TEST(LeastSquares, ResultBitsArePinned)
{
    Matrix m = Matrix{{1, 2, 0.5}, {-1, 1, 3}, {1, -0.5, 2}};
    Vector b = makeVector3(1, 0.3, -0.7), x;
    ASSERT_TRUE(gaussEliminate(m, b));
    backSubstitute(m, b, x);
    EXPECT_EQ(x[0], -0x1.f656f1826a44p-4);
    EXPECT_EQ(x[1], 0x1.314496b3aeda5p-1);
    EXPECT_EQ(x[2], -0x1.1df279b883617p-3);

    buildZeroSumBases(4);
    Matrix a = Matrix{{1, 0.2, 0.1, 0.4}, {0.3, 1, 0.2, -0.1}, {0.1, 0.1, 1, 0.3}, {0.5, -0.2, 0.1, 1},
                         {0.2, 0.3, 0.4, 0.5}};
    Vector w = {0.25, 0.25, 0.25, 0.25};
    solveSimplexLeastSquares(a, Vector{0.9, -0.2, 0.4, 0.1, 0.3}, w);
    EXPECT_EQ(w[0], 0x1.5aedd06fe99e2p-1);
    EXPECT_EQ(w[1], 0.0);
    EXPECT_EQ(w[2], 0x1.4a245f202cc3bp-2);
    EXPECT_EQ(w[3], 0.0);
}

// Every routine returns on random, degenerate and non-finite inputs; with
// finite inputs the simplex solver stays on the simplex.
TEST(Numerics, DegenerateAndNonFiniteInputsReturn)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const double oddValues[] = {nan, inf, -inf, 1e300, 1e-300, 0.0, -0.0, 1.0, 1e-14, 1.0 + 1e-15};
    std::mt19937_64 rng(6);
    buildZeroSumBases(6);
    Matrix S, U, V, R;
    Vector t;
    for (int trial = 0; trial < 20000; ++trial) {
        std::size_t n = 1 + rng() % 6;
        bool odd = trial % 2 == 0;
        Matrix a = randomMatrix(rng, 1 + rng() % 10, n), m = randomMatrix(rng, n, n), cov = randomMatrix(rng, 3, 3);
        Vector b = multiplyVector(a, randomStart(rng, n)), x = randomStart(rng, n), c(n, 1.0);
        if (trial % 3 == 0) { // repeated columns and rows
            for (Vector& row : a)
                row[n - 1] = row[0];
            cov[1] = cov[0];
        }
        for (int k = 0; odd && k < 3; ++k) {
            a[rng() % rowCount(a)][rng() % n] = oddValues[rng() % 10];
            b[rng() % b.size()] = oddValues[rng() % 10];
            m[rng() % n][rng() % n] = oddValues[rng() % 10];
            cov[rng() % 3][rng() % 3] = oddValues[rng() % 10];
        }
        solveSimplexLeastSquares(a, b, x);
        double sum = 0.0;
        for (double v : x) {
            ASSERT_TRUE(odd || v >= 0.0);
            sum += v;
        }
        ASSERT_TRUE(odd || std::fabs(sum - 1.0) < 1e-12);
        solveLeastSquares(a, b, c);
        if (gaussEliminate(m, c))
            backSubstitute(m, c, x);
        svd3(cov, S, U, V);
        rotationFromCovariance(cov, makeVector3(0, 0, 0), makeVector3(1, 1, 1), R, t);
    }
    // Without bases for the size the solver reports an index fault.
    buildZeroSumBases(2);
    Vector x(3, 1.0 / 3);
    EXPECT_THROW(solveSimplexLeastSquares(Matrix{{1, 2, 3}}, Vector{1}, x), std::out_of_range);
}

} // namespace
