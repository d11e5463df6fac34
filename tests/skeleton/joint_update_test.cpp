#include <gtest/gtest.h>

#include "skeleton/joint_update.h"
#include "skeleton/rig_fixture.h"

namespace {

using namespace rigtest;

// Turns about axis through the fixed point c: R_f·c + t_f = c.
Bone turningAbout(int frames, const Vector& axis, double spin, const Vector& c)
{
    Bone b = movingBone(frames, axis, spin, makeVector3(0, 0, 0));
    for (int f = 0; f < frames; ++f)
        b.translations[f] = subtractVector3(c, multiplyVector(b.rotations[f], c));
    return b;
}

// Four vertices per bone; vertex 3 is shared half and half by bones 0 and 1.
void sharedCloudRig(RiggingContext& context, const std::vector<Bone>& bones)
{
    cloudRig(context, bones, std::vector<int>(bones.size(), 4));
    context.weights[3][0] = context.weights[3][1] = 0.5;
}

TEST(JointUpdate, IdenticalTracksGiveExactlyThePrior)
{
    Bone b = turningAbout(4, makeVector3(1, 2, 0), 0.3, makeVector3(0.2, 0.1, 0));
    RiggingContext context;
    sharedCloudRig(context, {b, b, b});
    context.jointsReg = 0.5; // r = sqrt(0.25·4) = 1
    context.skeleton.addJoint(0, 1);
    updateJoints(context, false);
    EXPECT_EQ(maxDifference(context.jointTable.get(1, 0), context.restPose[3]), 0.0); // W = 0.25
    EXPECT_EQ(maxDifference(context.jointTable.get(0, 1), context.restPose[3]), 0.0);
    // Shared weight below 0.1 is divided by 0.1 instead; nothing shared gives the origin.
    EXPECT_EQ(maxDifference(jointPrior(context, 2, 1), makeVector3(0, 0, 0)), 0.0);
    context.weights[3][2] = 0.19;
    EXPECT_EQ(jointPrior(context, 0, 2)[1], (0.5 * 0.19 * context.restPose[3][1]) / 0.1);
    // No bone and no frame: nothing to solve.
    RiggingContext empty;
    updateJoints(empty, true);
    EXPECT_EQ(empty.jointTable.values.size(), 0u);
}

TEST(JointUpdate, PairsFindTheirCommonPointOrKeepTheirJoint)
{
    const Vector c = makeVector3(0.5, -0.3, 0.4);
    RiggingContext context;
    sharedCloudRig(context, {turningAbout(6, makeVector3(0, 0, 1), 0.2, c), turningAbout(6, makeVector3(0, 1, 0), 0.1, c),
                             turningAbout(6, makeVector3(1, 0, 0), 0.3, c)});
    context.jointsReg = 0.0;
    const Vector untouched = makeVector3(7, 8, 9);
    context.jointTable.set(1, 0, untouched);
    context.skeleton.addJoint(2, 0);
    updateJoints(context, false);
    EXPECT_EQ(maxDifference(context.jointTable.get(1, 0), untouched), 0.0);
    EXPECT_LE(maxDifference(context.jointTable.get(2, 0), c), 1e-12);
    updateJoints(context, true);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < i; ++j) {
            EXPECT_LE(maxDifference(context.jointTable.get(i, j), c), 1e-12);
            EXPECT_EQ(maxDifference(context.jointTable.get(i, j), context.jointTable.get(j, i)), 0.0);
        }
    // Both bones turn about the z axis: nothing fixes the joint's z, and the
    // unregularised solve yields a NaN there. The joint keeps its place.
    context = RiggingContext();
    sharedCloudRig(context, {turningAbout(4, makeVector3(0, 0, 1), 0.2, c), turningAbout(4, makeVector3(0, 0, 1), -0.1, c)});
    context.jointsReg = 0.0;
    context.skeleton.addJoint(0, 1);
    const Vector before = makeVector3(0.25, 0.75, 1.5);
    context.jointTable.set(1, 0, before);
    updateJoints(context, false);
    EXPECT_EQ(maxDifference(context.jointTable.get(1, 0), before), 0.0);
    EXPECT_EQ(maxDifference(context.jointTable.get(0, 1), before), 0.0);
}

TEST(JointUpdate, RegularisationWeighsThePriorByTheFrameCount)
{
    // Bone 1 turns half about the z axis through q in each of 4 frames: the
    // frames ask for q in x and y, r² = JOINTS_REG²·frames = 16 matches their
    // weight, so x and y land halfway to the prior; nothing but the prior fixes z.
    const Vector q = makeVector3(0.5, -0.25, 3);
    Bone half = identityBone(4);
    for (int f = 0; f < 4; ++f) {
        half.rotations[f] = rotation(0, 0, 1, M_PI);
        half.translations[f] = subtractVector3(q, multiplyVector(half.rotations[f], q));
    }
    RiggingContext context;
    sharedCloudRig(context, {identityBone(4), half});
    context.jointsReg = 2.0;
    context.skeleton.addJoint(1, 0);
    updateJoints(context, false);
    const Vector c = context.restPose[3], x = context.jointTable.get(1, 0);
    EXPECT_LE(maxDifference(x, makeVector3(0.5 * (q[0] + c[0]), 0.5 * (q[1] + c[1]), c[2])), 1e-12);
}

} // namespace
