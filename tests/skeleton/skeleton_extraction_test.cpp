#include <gtest/gtest.h>

#include <sstream>

#include "skeleton/pruning.h"
#include "skeleton/rig_fixture.h"
#include "skeleton/skeleton_extraction.h"

namespace {

using namespace rigtest;

// Bones with different motions, three vertices each along x; with shared,
// neighbouring clouds share a vertex half and half.
void chainRig(RiggingContext& context, std::vector<Bone> bones, bool shared)
{
    for (std::size_t k = 0; k < bones.size() && bones[k].rotations.empty(); ++k)
        bones[k] = movingBone(4, makeVector3(k % 2, 1, 0.5 * k), 0.1 + 0.05 * k, makeVector3(0.1 * k, 0, -0.05 * k));
    cloudRig(context, bones, std::vector<int>(bones.size(), 3));
    for (std::size_t k = 0; shared && k + 1 < bones.size(); ++k)
        context.weights[3 * k + 2][k] = context.weights[3 * k + 2][k + 1] = 0.5;
}

TEST(SkeletonExtraction, TreeSpansEveryBone)
{
    for (int count = 1; count <= 5; ++count) {
        RiggingContext context;
        chainRig(context, std::vector<Bone>(count), false); // nothing shared
        extractSkeleton(context);
        EXPECT_EQ(context.skeleton.jointCount, count - 1) << count;
        for (int k = 0; k < count; ++k)
            EXPECT_EQ(context.skeleton.component[k], context.skeleton.component[0]);
    }
}

TEST(SkeletonExtraction, EqualCostsKeepThePairOrder)
{
    // Identical tracks: every pair costs 0, so (1,0), (2,0), ... are taken: a star.
    RiggingContext context;
    chainRig(context, std::vector<Bone>(8, movingBone(4, makeVector3(1, 1, 0), 0.2, makeVector3(0, 0.1, 0))), true);
    extractSkeleton(context);
    for (int i = 1; i < 8; ++i)
        for (int j = 0; j < i; ++j)
            EXPECT_EQ(context.skeleton.adjacency[i][j], j == 0) << i << " " << j;
    for (int k = 0; k < 8; ++k) // each link (i, j) merges j's component into i's
        EXPECT_EQ(context.skeleton.component[k], 7);
}

// The labels are checked through skeleton extraction; a link inside one
// component is refused here, before any caller could make a cycle.
TEST(SkeletonGraph, AddJointLinksTwoComponentsOnly)
{
    SkeletonGraph g;
    g.reset(4);
    g.addJoint(0, 1);
    g.addJoint(2, 3);
    g.addJoint(1, 3);
    g.addJoint(0, 2); // already connected: nothing changes
    EXPECT_TRUE(g.jointCount == 3 && g.adjacency[1][3] && g.adjacency[3][1] && !g.adjacency[0][2]);
    EXPECT_THROW(g.addJoint(0, 4), std::out_of_range);
    EXPECT_TRUE(isLinked(g, 3, 1) && !isLinked(g, 0, 2) && !isLinked(g, 3, 3) && !isLinked(g, -1, 0) && !isLinked(g, 0, 9));
    g.reset(-1);
    EXPECT_TRUE(g.adjacency.empty() && g.component.empty());
    g.reset(2);
    EXPECT_TRUE(g.jointCount == 0 && g.component == (std::vector<int>{0, 1}) && !g.adjacency[0][1]);
}

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
