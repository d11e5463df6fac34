// The weight passes give the same bits on one thread and on several.
#include <gtest/gtest.h>

#include <cstring>

#include "parallel/thread_pool.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"
#include "weights/weights_fixture.h"

namespace {

// Weight passes as the driver runs them, on one thread or on a pool.
void runPasses(RiggingContext& c, ThreadPool* pool, bool kept)
{
    FitCache cache;
    c.pool = pool;
    c.omega = 2.0; // a prior strong enough to decide choices
    computeSmoothWeights(c);
    for (int pass = 0; pass < 3; ++pass) {
        selectCandidateBones(c, 2, true, kept ? &cache : nullptr);
        solveWeights(c, 2, kept ? &cache : nullptr);
    }
    c.pool = nullptr;
}

} // namespace

TEST(WeightPasses, GiveTheSameBitsOnAnyNumberOfThreads)
{
    // Every vertex starts with three bones of weight near 1/3 and keeps two;
    // the solve's rows are written side by side from its ordered results.
    ThreadPool pool(3);
    for (bool kept : {false, true}) {
        RiggingContext one, three;
        weights_fixture::makeMesh(one, 301, 9, 6, 11);
        weights_fixture::makeMesh(three, 301, 9, 6, 11);
        runPasses(one, nullptr, kept);
        runPasses(three, &pool, kept);
        EXPECT_EQ(one.vertexBones, three.vertexBones) << "kept " << kept;
        EXPECT_EQ(one.boneVertices, three.boneVertices) << "kept " << kept;
        for (int v = 0; v < one.numVertices; ++v)
            ASSERT_EQ(std::memcmp(one.weights[v].data(), three.weights[v].data(), 9 * sizeof(double)), 0)
                << "vertex " << v << " kept " << kept;
    }
}
