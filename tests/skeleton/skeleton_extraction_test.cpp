#include <gtest/gtest.h>

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

} // namespace
