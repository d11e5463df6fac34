#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "linalg/dense.h"

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

// Counts heap allocations so the benchmarks can show that the small containers
// stay inline.
static std::atomic<long> allocationCount{0};

void* operator new(std::size_t n)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

static Bone makeBone()
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
    return bone;
}

// transformPoint must stay allocation-free: the hot loops call it millions of times.
static void BM_TransformPoint(benchmark::State& state)
{
    Bone bone = makeBone();
    Vector p = makeVector3(0.1, 0.2, 0.3);
    long before = allocationCount.load();
    for (auto _ : state) {
        Vector q = transformPoint(bone, 0, p);
        benchmark::DoNotOptimize(q);
        p[0] += 1e-9;
    }
    state.counters["allocs/iter"] = double(allocationCount.load() - before) / double(state.iterations());
}
BENCHMARK(BM_TransformPoint);

static void BM_RotationProduct(benchmark::State& state)
{
    Bone bone = makeBone();
    long before = allocationCount.load();
    for (auto _ : state) {
        Matrix m = multiply(bone.rotations[0], transpose(bone.rotations[0]));
        benchmark::DoNotOptimize(m);
    }
    state.counters["allocs/iter"] = double(allocationCount.load() - before) / double(state.iterations());
}
BENCHMARK(BM_RotationProduct);
