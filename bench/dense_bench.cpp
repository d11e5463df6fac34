#include <benchmark/benchmark.h>

#include "linalg/dense.h"

// transformPoint must stay allocation-free: the hot loops call it millions of times.
static void BM_TransformPoint(benchmark::State& state)
{
    Bone bone;
    Matrix r = zeroMatrix3();
    r[0][0] = 0.36;
    r[0][1] = 0.48;
    r[0][2] = -0.8;
    r[1][0] = -0.8;
    r[1][1] = 0.6;
    r[2][0] = 0.48;
    r[2][1] = 0.64;
    r[2][2] = 0.6;
    bone.rotations.push_back(r);
    bone.translations.push_back(makeVector3(1, 2, 3));
    Vector p = makeVector3(0.1, 0.2, 0.3);
    for (auto _ : state) {
        Vector q = transformPoint(bone, 0, p);
        benchmark::DoNotOptimize(q);
        p[0] += 1e-9;
    }
}
BENCHMARK(BM_TransformPoint);
