#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "skeleton/pruning.h"
#include "skeleton/rig_fixture.h"

namespace {

using namespace rigtest;

const int kFrames = 2;

// Bone j governs counts[j] vertices with weight 1 (each vertex lists only
// its bone); bone j's track is shifted by j so tracks can be told apart.
void countedRig(RiggingContext& context, const std::vector<int>& counts, std::ostringstream& out)
{
    Matrix rest;
    std::vector<Bone> bones;
    for (std::size_t j = 0; j < counts.size(); ++j) {
        addCloud(rest, makeVector3(double(j), 0, 0), counts[j]);
        bones.push_back(movingBone(kFrames, makeVector3(0, 0, 1), 0.1 * j, makeVector3(double(j), 0, 0)));
    }
    setUp(context, rest, bones, kFrames);
    int v = 0;
    for (std::size_t j = 0; j < counts.size(); ++j)
        for (int i = 0; i < counts[j]; ++i)
            context.weights[v++][j] = 1.0;
    candidatesFromWeights(context);
    blendSequence(context, bones);
    context.neighbours.assign(context.numVertices, {});
    context.smoothWeights.assign(context.numVertices, {});
    context.console = &out;
}

TEST(Pruning, ReportsEveryCountAtDebugLevelZero)
{
    RiggingContext context;
    std::ostringstream out;
    countedRig(context, {12, 3, 5}, out);
    context.debugLevel = 0;
    // Bone 3 lists vertices 15 .. 19.
    context.weights[15][2] = 0.5;          // at sigWeight: counts
    context.weights[16][2] = 0.49999;      // below: does not
    context.weights[17][2] = std::nan(""); // NaN: does not
    context.weights[14][2] = 1.0;          // outside the bone's list: does not
    EXPECT_FALSE(pruneBones(context));
    EXPECT_EQ(out.str(), " 1:12 2:3 3:3");
    EXPECT_EQ(context.numBones, 3);
}

TEST(Pruning, ACountAtTheThresholdStays)
{
    RiggingContext context;
    std::ostringstream out;
    // pruneScale 0.5 of maxCount 10: threshold 5; 5 stays, 4 goes.
    countedRig(context, {10, 5, 4}, out);
    context.pruneScale = 0.5;
    EXPECT_TRUE(pruneBones(context));
    EXPECT_EQ(context.numBones, 2);

    // A tiny share still leaves the floor of 3: 3 stays, 2 goes.
    RiggingContext floor;
    std::ostringstream out2;
    countedRig(floor, {3, 2, 40}, out2);
    floor.pruneScale = 0.0;
    EXPECT_TRUE(pruneBones(floor));
    EXPECT_EQ(floor.numBones, 2);
    EXPECT_EQ(out2.str(), " 1:3 2:2 3:40");
}

TEST(Pruning, SurvivorsMoveWithTheirColumnsAndTracks)
{
    RiggingContext context;
    std::ostringstream out;
    countedRig(context, {2, 6, 1, 4}, out);
    context.nnz = 2;
    std::vector<Bone> before = context.bones;
    // A blended vertex shows the columns moving, not only the one-hot rows.
    context.weights[7][3] = 0.25;
    context.weights[7][1] = 0.75;
    Matrix weights = context.weights;
    EXPECT_TRUE(pruneBones(context));
    ASSERT_EQ(context.numBones, 2);
    ASSERT_EQ(context.bones.size(), 2u);
    const int keep[2] = {1, 3};
    for (int k = 0; k < 2; ++k)
        for (int f = 0; f < kFrames; ++f) {
            EXPECT_EQ(maxDifference(context.bones[k].rotations[f], before[keep[k]].rotations[f]), 0.0);
            EXPECT_EQ(maxDifference(context.bones[k].translations[f], before[keep[k]].translations[f]), 0.0);
        }
    for (int v = 0; v < context.numVertices; ++v) {
        ASSERT_EQ(context.weights[v].size(), 2u);
        EXPECT_EQ(context.weights[v][0], weights[v][1]);
        EXPECT_EQ(context.weights[v][1], weights[v][3]);
    }
    // Candidate lists rebuilt for the new numbering, up to nnz per vertex.
    ASSERT_EQ(context.boneVertices.size(), 2u);
    for (int v = 0; v < context.numVertices; ++v) {
        EXPECT_EQ(context.vertexBones[v].size(), 2u);
        for (int k : context.vertexBones[v])
            EXPECT_TRUE(k == 0 || k == 1);
    }
}

TEST(Pruning, EveryBoneCanGo)
{
    RiggingContext context;
    std::ostringstream out;
    countedRig(context, {2, 2}, out);
    EXPECT_TRUE(pruneBones(context));
    EXPECT_EQ(out.str(), " 1:2 2:2");
    EXPECT_EQ(context.numBones, 0);
    EXPECT_TRUE(context.bones.empty());
    EXPECT_TRUE(context.boneVertices.empty());
    ASSERT_EQ(context.vertexBones.size(), 4u);
    for (int v = 0; v < 4; ++v) {
        EXPECT_TRUE(context.weights[v].empty());
        EXPECT_TRUE(context.vertexBones[v].empty());
    }

    // Above 1, the share exceeds the strongest bone itself.
    RiggingContext all;
    std::ostringstream out2;
    countedRig(all, {30, 20}, out2);
    all.pruneScale = 1.5;
    EXPECT_TRUE(pruneBones(all));
    EXPECT_EQ(all.numBones, 0);
}

} // namespace
