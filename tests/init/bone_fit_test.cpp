#include <gtest/gtest.h>

#include "init/bone_fit.h"
#include "skeleton/rig_fixture.h"
#include "support/bar_mesh.h"

namespace {

using namespace rigtest;

struct Fixture {
    RiggingContext context;
    Triangles triangles;
    LbgParams params;

    Fixture(int slices, int frames)
    {
        testmesh::makeBar(slices, 0, context.restPose, triangles);
        testmesh::animateParts(context, triangles, std::vector<int>(context.restPose.size(), 0), frames, slices / 2.0);
        params.sequence = &context.sequence;
        params.restPose = &context.restPose;
        params.numFrames = frames;
        params.numVertices = context.numVertices;
    }
};

TEST(BoneFit, RigidMotionIsReproduced)
{
    // The bar's motion seen through a tilted frame: no covariance entry
    // vanishes by symmetry.
    Fixture fx(5, 8);
    const Matrix tilt = rotation(1, 2, 3, 0.7);
    for (double* x = fx.context.sequence.values.data(); x < fx.context.sequence.values.data() + fx.context.sequence.values.size(); x += 3) {
        const Vector y = multiplyVector(tilt, makeVector3(x[0], x[1], x[2]));
        x[0] = y[0], x[1] = y[1], x[2] = y[2];
    }
    std::vector<int> all(fx.context.numVertices);
    for (int v = 0; v < fx.context.numVertices; ++v)
        all[v] = v;
    Bone bone;
    ASSERT_TRUE(fitBoneToGroup(fx.params, bone, all));
    ASSERT_EQ(bone.rotations.size(), 8u);
    for (int f = 0; f < 8; ++f)
        for (int v : all) {
            Vector q = transformPoint(bone, f, fx.context.restPose[v]);
            const double* x = fx.context.sequence.point(f, v);
            for (int a = 0; a < 3; ++a)
                EXPECT_NEAR(q[a], x[a], 1e-9 * 5);
        }
}

TEST(BoneFit, EveryMemberCountsInTheFit)
{
    // Five points on the axes stay, the sixth turns from +x to +y: sin θ = 1/√10.
    Fixture fx(3, 1);
    const double axes[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int v = 0; v < 6; ++v) {
        fx.context.restPose[v] = makeVector3(axes[v][0], axes[v][1], axes[v][2]);
        fx.context.sequence.set(0, v, v == 0 ? makeVector3(0, 1, 0) : fx.context.restPose[v]);
    }
    Bone bone;
    ASSERT_TRUE(fitBoneToGroup(fx.params, bone, {0, 1, 2, 3, 4, 5}));
    EXPECT_NEAR(bone.rotations[0][1][0], 1 / std::sqrt(10.0), 1e-12);
}

TEST(BoneFit, FewMembersCoincidentPointsAndNoFrames)
{
    // Five members are refused and leave the bone alone; six are enough.
    Fixture fx(5, 4);
    Bone bone;
    bone.translations.push_back(makeVector3(7, 7, 7));
    EXPECT_FALSE(fitBoneToGroup(fx.params, bone, {0, 1, 2, 5, 9}));
    ASSERT_EQ(bone.translations.size(), 1u);
    EXPECT_EQ(bone.translations[0][0], 7);
    EXPECT_TRUE(fitBoneToGroup(fx.params, bone, {0, 1, 2, 5, 9, 14}));
    // Coincident rest positions give the identity.
    for (int v = 0; v < 6; ++v)
        fx.context.restPose[v] = makeVector3(1, 2, 3);
    ASSERT_TRUE(fitBoneToGroup(fx.params, bone, {0, 1, 2, 3, 4, 5}));
    for (int f = 0; f < 4; ++f)
        EXPECT_EQ(maxDifference(bone.rotations[f], rotation(0, 0, 1, 0.0)), 0.0) << f;
    // No frames: an empty track.
    fx.params.numFrames = 0;
    EXPECT_TRUE(fitBoneToGroup(fx.params, bone, {0, 1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(bone.rotations.empty());
}

} // namespace
