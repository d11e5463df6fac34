// The kernels of a run on the real meshes of the shared data folder: the
// initial clustering, candidate scoring, the weight solve and the bone update.
// Each benchmark skips when the data folder does not hold its mesh.
#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "skeleton/bone_update.h"

namespace {

const char* const kMeshes[] = {"horse-gallop", "cesium-man-walk"};

// Whole initialisation (LBG-VQ and segmentation) on a fresh copy of the inputs.
void BM_LbgVqInit(benchmark::State& state)
{
    RiggingContext inputs;
    if (!bench::loadMesh(kMeshes[state.range(0)], inputs)) {
        state.SkipWithError("mesh not found in the data folder");
        return;
    }
    std::ostream quiet(nullptr);
    for (auto _ : state) {
        Matrix weights;
        std::vector<Bone> bones;
        LbgParams params = bench::lbgParams(inputs, quiet);
        initLbgVq(inputs.restPose, inputs.neighbours, weights, inputs.maxSplit, inputs.boxDiagonal, bones,
                  inputs.sequence, params);
        benchmark::DoNotOptimize(bones.data());
    }
    state.SetLabel(kMeshes[state.range(0)]);
}
BENCHMARK(BM_LbgVqInit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One assignment of every vertex to the best of the initial bones.
void BM_LbgAssignVertices(benchmark::State& state)
{
    const RiggingContext* context = bench::decompositionState(kMeshes[state.range(0)]);
    if (!context) {
        state.SkipWithError("mesh not found in the data folder");
        return;
    }
    std::ostream quiet(nullptr);
    std::vector<Bone> bones = context->bones;
    LbgParams params = bench::assignmentParams(*context, bones, quiet);
    for (auto _ : state) {
        assignVertices(params);
        benchmark::DoNotOptimize(params.clusters.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(context->numVertices) * context->numFrames * bones.size());
    state.SetLabel(std::string(kMeshes[state.range(0)]) + ", items = point transformations");
}
BENCHMARK(BM_LbgAssignVertices)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Candidates chosen among every bone, the choice after pruning: state.range(1)
// = 0 scores them all (new bones: nothing kept from the earlier call, the
// run's tiled copy of the sequence at hand), 1 takes the fit errors kept by
// the previous call and only ranks. The difference of the two times is the
// scoring itself. Items are point transformations in both.
void BM_ScoreAllCandidates(benchmark::State& state)
{
    const RiggingContext* base = bench::decompositionState(kMeshes[state.range(0)]);
    if (!base) {
        state.SkipWithError("mesh not found in the data folder");
        return;
    }
    RiggingContext context = *base;
    tileSequence(context);
    FitCache cache;
    const bool reuse = state.range(1) != 0;
    selectCandidateBones(context, context.nnz, false, &cache);
    for (auto _ : state) {
        if (!reuse)
            cache.transforms.clear(); // as after a bone update
        selectCandidateBones(context, context.nnz, false, &cache);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(context.numVertices) * context.numFrames * context.numBones);
    state.SetLabel(std::string(kMeshes[state.range(0)]) + (reuse ? ", ranking only" : ", scoring and ranking"));
}
BENCHMARK(BM_ScoreAllCandidates)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond);

// One weight pass (candidate choice and solve, four weights per vertex):
// the first of a repetition (state.range(1) = 0: new bones, nothing kept) or
// a later one (1: the fit work of the first pass reused). Items are vertices.
void BM_WeightPass(benchmark::State& state)
{
    const RiggingContext* base = bench::decompositionState(kMeshes[state.range(0)]);
    if (!base) {
        state.SkipWithError("mesh not found in the data folder");
        return;
    }
    RiggingContext context = *base;
    tileSequence(context);
    FitCache cache;
    const bool reuse = state.range(1) != 0;
    // A first pass ties the cache to the copy.
    selectCandidateBones(context, context.nnz, true, &cache);
    solveWeights(context, context.nnz, &cache);
    for (auto _ : state) {
        if (!reuse) {
            // As after a bone update: the kept fit work no longer matches.
            state.PauseTiming();
            cache.transforms.clear();
            state.ResumeTiming();
        }
        selectCandidateBones(context, context.nnz, true, &cache);
        solveWeights(context, context.nnz, &cache);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(context.numVertices));
    state.SetLabel(std::string(kMeshes[state.range(0)]) + (reuse ? ", later pass" : ", first pass"));
}
BENCHMARK(BM_WeightPass)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond);

// The B step without joints. Items are (candidate vertex, frame) pairs, each
// fitted once and moved in and out of the residuals.
void BM_BoneUpdate(benchmark::State& state)
{
    const RiggingContext* base = bench::decompositionState(kMeshes[state.range(0)]);
    if (!base) {
        state.SkipWithError("mesh not found in the data folder");
        return;
    }
    RiggingContext context = *base;
    int64_t pairs = 0;
    for (int j = 0; j < context.numBones; ++j)
        pairs += int64_t(context.boneVertices[j].size()) * context.numFrames;
    for (auto _ : state) {
        state.PauseTiming();
        context.bones = base->bones; // every call starts from the same tracks
        state.ResumeTiming();
        updateBoneTransformations(context, 0.0);
    }
    state.SetItemsProcessed(state.iterations() * pairs);
    state.SetLabel(std::string(kMeshes[state.range(0)]) + ", items = vertex-frame pairs");
}
BENCHMARK(BM_BoneUpdate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
