#include <benchmark/benchmark.h>

#include <random>

#include "linalg/least_squares.h"
#include "linalg/svd3.h"

// The rotation fit runs once per bone and frame of every bone update.
static void BM_RotationFromCovariance(benchmark::State& state)
{
    std::mt19937_64 rng(1);
    std::normal_distribution<double> normal;
    Matrix a = zeroMatrix3(), R;
    for (Vector& row : a)
        for (double& v : row)
            v = normal(rng);
    Vector p = makeVector3(0.1, 0.2, 0.3), q = makeVector3(1, 2, 3), t;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rotationFromCovariance(a, p, q, R, t));
        a[0][0] += 1e-9;
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
