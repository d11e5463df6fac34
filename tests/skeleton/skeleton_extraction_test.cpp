#include <gtest/gtest.h>

#include "skeleton/skeleton_extraction.h"
#include "skeleton/rig_fixture.h"

namespace {

using namespace rigtest;

const int kFrames = 4;

// One cloud per bone in a row along x, cloud k belonging to bone order[k];
// neighbouring clouds share a vertex half and half, so only they overlap.
void chainRig(RiggingContext& context, const std::vector<Bone>& bones, const std::vector<int>& order)
{
    const int count = int(bones.size());
    Matrix rest;
    for (int k = 0; k < count; ++k)
        addCloud(rest, makeVector3(double(k), 0, 0), 3);
    setUp(context, rest, bones, kFrames);
    for (int v = 0; v < 3 * count; ++v)
        context.weights[v][order[v / 3]] = 1.0;
    for (int k = 0; k + 1 < count; ++k) {
        context.weights[3 * k + 2][order[k]] = 0.5;
        context.weights[3 * k + 2][order[k + 1]] = 0.5;
    }
}

std::vector<int> inOrder(int count)
{
    std::vector<int> order;
    for (int k = 0; k < count; ++k)
        order.push_back(k);
    return order;
}

std::vector<Bone> distinctBones(int count)
{
    std::vector<Bone> bones;
    for (int k = 0; k < count; ++k)
        bones.push_back(movingBone(kFrames, makeVector3(k % 2, 1, 0.5 * k), 0.1 + 0.05 * k,
                                   makeVector3(0.1 * k, 0.0, -0.05 * k)));
    return bones;
}

TEST(SkeletonExtraction, SpanningTreeFollowsTheSharedVertices)
{
    // Bones listed out of chain order: 0 - 2 - 3 - 1 along x.
    RiggingContext context;
    chainRig(context, distinctBones(4), {0, 2, 3, 1});
    extractSkeleton(context);
    const SkeletonGraph& s = context.skeleton;
    EXPECT_EQ(s.jointCount, 3);
    EXPECT_TRUE(s.adjacency[2][0] && s.adjacency[0][2]);
    EXPECT_TRUE(s.adjacency[3][2]);
    EXPECT_TRUE(s.adjacency[3][1]);
    EXPECT_FALSE(s.adjacency[1][0]);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(s.component[k], s.component[0]);
    // Every pair got a joint position, mirrored.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < i; ++j)
            EXPECT_EQ(maxDifference(context.jointTable.get(i, j), context.jointTable.get(j, i)), 0.0);
}

TEST(SkeletonExtraction, TreeSizeFollowsTheBoneCount)
{
    for (int count = 1; count <= 6; ++count) {
        RiggingContext context;
        chainRig(context, distinctBones(count), inOrder(count));
        // Nothing shared at all: every cost is its disagreement over 0.001.
        for (int k = 0; k + 1 < count; ++k)
            context.weights[3 * k + 2][k + 1] = 0.0;
        extractSkeleton(context);
        EXPECT_EQ(context.skeleton.jointCount, count - 1) << count;
        for (int k = 0; k < count; ++k)
            EXPECT_EQ(context.skeleton.component[k], context.skeleton.component[0]);
    }
}

TEST(SkeletonExtraction, EqualCostsKeepThePairOrder)
{
    // Identical tracks: every pair costs 0, so the pairs are taken in the
    // order (1,0), (2,0), (2,1), ...: a star around bone 0.
    Bone b = distinctBones(2)[1];
    RiggingContext context;
    chainRig(context, std::vector<Bone>(8, b), inOrder(8));
    extractSkeleton(context);
    const SkeletonGraph& s = context.skeleton;
    EXPECT_EQ(s.jointCount, 7);
    for (int i = 1; i < 8; ++i) {
        EXPECT_TRUE(s.adjacency[i][0]) << i;
        for (int j = 1; j < i; ++j)
            EXPECT_FALSE(s.adjacency[i][j]) << i << " " << j;
    }
    // Each link (i, j) merges the smaller bone's component into the larger's.
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(s.component[k], 7);
}

TEST(SkeletonExtraction, SharedVerticesOutweighCloseTracks)
{
    // Bones 0 and 2 move almost alike but share no vertex; bone 1 moves
    // differently and shares a vertex with each. The shared vertices win.
    std::vector<Bone> bones = distinctBones(2);
    bones.push_back(bones[0]);
    for (int f = 0; f < kFrames; ++f)
        bones[2].translations[f][0] += 0.01 * f;
    RiggingContext context;
    chainRig(context, bones, {0, 1, 2});
    extractSkeleton(context);
    EXPECT_TRUE(context.skeleton.adjacency[1][0]);
    EXPECT_TRUE(context.skeleton.adjacency[2][1]);
    EXPECT_FALSE(context.skeleton.adjacency[2][0]);
}

} // namespace
