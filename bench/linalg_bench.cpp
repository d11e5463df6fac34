#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "linalg/least_squares.h"
#include "linalg/svd3.h"

// The rotation fit runs once per bone and frame of every bone update. The
// covariances are those of well-spread point sets under random rotations (no
// reflection, no thin direction): the common case, whose cost must not grow.
static void BM_RotationFromCovariance(benchmark::State& state)
{
    std::mt19937_64 rng(1);
    std::normal_distribution<double> normal;
    constexpr int count = 64;
    static double covariances[count][3][3];
    for (auto& a : covariances) {
        // A = P·Q with P = diag(3, 2, 1) spread and Q a rotation (unit quaternion).
        double q[4], n = 0.0;
        for (double& v : q)
            v = normal(rng), n += v * v;
        for (double& v : q)
            v /= std::sqrt(n);
        const double w = q[0], x = q[1], y = q[2], z = q[3];
        const double Q[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                                {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                                {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                a[r][c] = (3.0 - r) * Q[r][c] + 0.01 * normal(rng);
    }
    const double p[3] = {0.1, 0.2, 0.3}, target[3] = {1, 2, 3};
    double R[3][3], t[3];
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rotationFromCovariance3(covariances[i], p, target, R, t));
        benchmark::DoNotOptimize(R);
        i = (i + 1) % count;
    }
}
BENCHMARK(BM_RotationFromCovariance);

// One vertex's weight solve: 3 rows per frame plus one smoothness row per
// candidate, state.range(0) candidates.
static void BM_SimplexSolve(benchmark::State& state)
{
    const int n = int(state.range(0)), frames = 50;
    std::mt19937_64 rng(2);
    std::normal_distribution<double> normal;
    Matrix a;
    resizeMatrix(a, 3 * frames + n, n);
    Vector b(3 * frames + n);
    for (int r = 0; r < 3 * frames + n; ++r) {
        for (int c = 0; c < n; ++c)
            a[r][c] = normal(rng);
        b[r] = normal(rng);
    }
    buildZeroSumBases(n);
    Vector x(n);
    for (auto _ : state) {
        for (int i = 0; i < n; ++i)
            x[i] = 1.0 / n;
        solveSimplexLeastSquares(a, b, x);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_SimplexSolve)->Arg(2)->Arg(4)->Arg(8);

// The same solve on a prepared H and f: the active-set iteration alone.
static void BM_SimplexNormal(benchmark::State& state)
{
    const int n = int(state.range(0));
    std::mt19937_64 rng(3);
    std::normal_distribution<double> normal;
    Matrix a;
    resizeMatrix(a, 3 * n, n);
    Vector b(3 * n);
    for (int r = 0; r < 3 * n; ++r) {
        for (int c = 0; c < n; ++c)
            a[r][c] = normal(rng);
        b[r] = normal(rng);
    }
    Matrix h = gramMatrix(a);
    Vector f = multiplyTransposedVector(a, b), x(n);
    buildZeroSumBases(n);
    for (auto _ : state) {
        for (int i = 0; i < n; ++i)
            x[i] = 1.0 / n;
        solveSimplexNormal(h, f, x);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_SimplexNormal)->Arg(4);
