#include <gtest/gtest.h>

#include <sstream>

#include "skeleton/pruning.h"
#include "skeleton/rig_fixture.h"

namespace {

using namespace rigtest;

// Bone j governs counts[j] vertices at weight 1; tracks differ per bone.
void countedRig(RiggingContext& context, const std::vector<int>& counts, std::ostringstream& out)
{
    std::vector<Bone> bones;
    for (std::size_t j = 0; j < counts.size(); ++j)
        bones.push_back(movingBone(2, makeVector3(0, 0, 1), 0.1 * j, makeVector3(double(j), 0, 0)));
    cloudRig(context, bones, counts);
    candidatesAndSequence(context, bones);
    context.console = &out;
    context.debugLevel = 0;
}

TEST(Pruning, ReportsCountsAndKeepsACountAtTheThreshold)
{
    RiggingContext context;
    std::ostringstream out;
    countedRig(context, {12, 3, 5}, out); // bone 3 lists vertices 15 .. 19
    context.weights[15][2] = 0.5;         // at sigWeight: counts
    context.weights[16][2] = 0.49999;     // below, NaN, or outside the list: does not
    context.weights[17][2] = std::nan("");
    context.weights[14][2] = 1.0;
    EXPECT_FALSE(pruneBones(context, nullptr));
    EXPECT_EQ(out.str(), " 1:12 2:3 3:3");

    context = RiggingContext();
    countedRig(context, {10, 5, 4}, out); // 0.5 of 10: 5 stays, 4 goes
    context.pruneScale = 0.5;
    EXPECT_TRUE(pruneBones(context, nullptr));
    EXPECT_EQ(context.numBones, 2);
    // Every bone can go.
    context = RiggingContext();
    out.str("");
    countedRig(context, {2, 2}, out);
    EXPECT_TRUE(pruneBones(context, nullptr));
    EXPECT_EQ(out.str(), " 1:2 2:2");
    EXPECT_TRUE(context.numBones == 0 && context.bones.empty() && context.boneVertices.empty());
    for (int v = 0; v < 4; ++v)
        EXPECT_TRUE(context.weights[v].empty() && context.vertexBones[v].empty());
}

TEST(Pruning, SurvivorsMoveWithTheirColumnsAndTracks)
{
    RiggingContext context;
    std::ostringstream out;
    countedRig(context, {2, 6, 1, 4}, out);
    context.nnz = 2;
    context.weights[7][1] = 0.75;
    context.weights[7][3] = 0.25;
    RiggingContext before = context;
    EXPECT_TRUE(pruneBones(context, nullptr));
    ASSERT_EQ(context.numBones, 2);
    ASSERT_EQ(context.bones.size(), 2u);
    const int keep[2] = {1, 3};
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(maxDifference(context.bones[k], before.bones[keep[k]]), 0.0);
        for (int v = 0; v < context.numVertices; ++v)
            EXPECT_EQ(context.weights[v][k], before.weights[v][keep[k]]);
    }
    ASSERT_EQ(context.boneVertices.size(), 2u); // candidates rebuilt, nnz per vertex
    for (int v = 0; v < context.numVertices; ++v)
        EXPECT_EQ(context.vertexBones[v].size(), 2u);
}

} // namespace
