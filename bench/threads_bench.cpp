// The stages that share their work among threads, on the horse of the shared
// data folder, with state.range(0) threads (1 is the single-threaded run):
// the bone update (frames side by side), the clustering's assignment (tiles
// side by side), the candidate choice over all bones with new bones (tiles
// scored side by side, vertices ranked side by side) and a later weight pass
// (its rows written side by side).
// Skips without the data.
#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "parallel/thread_pool.h"
#include "skeleton/bone_update.h"

namespace {

const char* const kMesh = "horse-gallop";

// The horse's decomposition state, or null with the benchmark skipped.
const RiggingContext* horseState(benchmark::State& state)
{
    const RiggingContext* base = bench::decompositionState(kMesh);
    if (!base)
        state.SkipWithError("mesh not found in the data folder");
    return base;
}

void labelThreads(benchmark::State& state, const ThreadPool& pool)
{
    state.SetLabel(std::to_string(pool.size()) + " threads");
}

void BM_ThreadedBoneUpdate(benchmark::State& state)
{
    const RiggingContext* base = horseState(state);
    if (!base)
        return;
    RiggingContext context = *base;
    ThreadPool pool(int(state.range(0)));
    context.pool = &pool;
    for (auto _ : state) {
        state.PauseTiming();
        context.bones = base->bones; // every call starts from the same tracks
        state.ResumeTiming();
        updateBoneTransformations(context, 0.0);
    }
    labelThreads(state, pool);
}
BENCHMARK(BM_ThreadedBoneUpdate)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ThreadedAssignVertices(benchmark::State& state)
{
    const RiggingContext* context = horseState(state);
    if (!context)
        return;
    std::ostream quiet(nullptr);
    ThreadPool pool(int(state.range(0)));
    std::vector<Bone> bones = context->bones;
    LbgParams params = bench::assignmentParams(*context, bones, quiet);
    params.pool = &pool;
    for (auto _ : state) {
        assignVertices(params);
        benchmark::DoNotOptimize(params.clusters.data());
    }
    labelThreads(state, pool);
}
BENCHMARK(BM_ThreadedAssignVertices)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ThreadedScoreAllCandidates(benchmark::State& state)
{
    const RiggingContext* base = horseState(state);
    if (!base)
        return;
    RiggingContext context = *base;
    tileSequence(context);
    ThreadPool pool(int(state.range(0)));
    context.pool = &pool;
    FitCache cache;
    for (auto _ : state) {
        cache.transforms.clear(); // as after a bone update: every score is new
        selectCandidateBones(context, context.nnz, false, &cache);
    }
    labelThreads(state, pool);
}
BENCHMARK(BM_ThreadedScoreAllCandidates)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// A later weight pass of a repetition (the fit work kept): the restricted
// choice and the solve in vertex order, the solve's rows written side by side.
void BM_ThreadedWeightPass(benchmark::State& state)
{
    const RiggingContext* base = horseState(state);
    if (!base)
        return;
    RiggingContext context = *base;
    tileSequence(context);
    ThreadPool pool(int(state.range(0)));
    context.pool = &pool;
    FitCache cache;
    selectCandidateBones(context, context.nnz, true, &cache);
    solveWeights(context, context.nnz, &cache);
    for (auto _ : state) {
        selectCandidateBones(context, context.nnz, true, &cache);
        solveWeights(context, context.nnz, &cache);
    }
    labelThreads(state, pool);
}
BENCHMARK(BM_ThreadedWeightPass)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
