#include <gtest/gtest.h>

#include <cmath>

#include "skeleton/joint_update.h"
#include "skeleton/rig_fixture.h"

namespace {

using namespace rigtest;

// A bone that turns about axis through the fixed point c: R_f·c + t_f = c.
Bone turningAbout(int frames, const Vector& axis, double spin, const Vector& c)
{
    Bone b;
    for (int f = 0; f < frames; ++f) {
        Matrix r = rotation(axis[0], axis[1], axis[2], spin * f);
        b.rotations.push_back(r);
        b.translations.push_back(subtractVector3(c, multiplyVector(r, c)));
    }
    return b;
}

// Two clouds sharing vertex 3 (weights 0.5 / 0.5).
void twoBoneRig(RiggingContext& context, const std::vector<Bone>& bones, int frames)
{
    Matrix rest;
    addCloud(rest, makeVector3(0, 0, 0), 4);
    addCloud(rest, makeVector3(1, 0, 0), 3);
    setUp(context, rest, bones, frames);
    for (int v = 0; v < 7; ++v)
        context.weights[v][v < 4 ? 0 : 1] = 1.0;
    context.weights[3][0] = 0.5;
    context.weights[3][1] = 0.5;
}

TEST(JointUpdate, PriorIsTheSharedWeightCentroid)
{
    RiggingContext context;
    const int frames = 2;
    twoBoneRig(context, {identityBone(frames), identityBone(frames), identityBone(frames)}, frames);
    context.weights[4][0] = 0.5;
    context.weights[4][1] = 0.5;
    // W = 0.25 + 0.25 ≥ 0.1: the plain centroid of vertices 3 and 4.
    Vector c = jointPrior(context, 1, 0);
    Vector mid = scaleVector3(0.5, addVector3(context.restPose[3], context.restPose[4]));
    EXPECT_LE(maxDifference(c, mid), 1e-15);
    // Nothing shared: the origin.
    Vector none = jointPrior(context, 1, 2);
    EXPECT_EQ(none[0], 0.0);
    EXPECT_EQ(none[2], 0.0);
    // W = 0.3·0.2 < 0.1: divided by 0.1, so pulled towards the origin.
    context.weights[3][2] = 0.2;
    context.weights[3][0] = 0.3;
    Vector small = jointPrior(context, 0, 2);
    const double a = 0.3 * 0.2;
    EXPECT_EQ(small[1], (a * context.restPose[3][1]) / 0.1);
}

TEST(JointUpdate, IdenticalTracksGiveExactlyThePrior)
{
    RiggingContext context;
    const int frames = 4;
    Bone b = turningAbout(frames, makeVector3(1, 2, 0), 0.3, makeVector3(0.2, 0.1, 0));
    twoBoneRig(context, {b, b}, frames);
    context.jointsReg = 0.5; // r = sqrt(0.25·4) = 1
    context.skeleton.addJoint(0, 1);
    updateJoints(context, false);
    Vector prior = jointPrior(context, 1, 0);
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(context.jointTable.get(1, 0)[a], prior[a]);
        EXPECT_EQ(context.jointTable.get(0, 1)[a], prior[a]);
    }
}

TEST(JointUpdate, FindsThePointBothBonesCarryAlike)
{
    RiggingContext context;
    const int frames = 6;
    const Vector c = makeVector3(0.6, -0.3, 0.4);
    twoBoneRig(context,
               {turningAbout(frames, makeVector3(0, 0, 1), 0.2, c), turningAbout(frames, makeVector3(1, 0.5, 0), -0.15, c)},
               frames);
    context.skeleton.addJoint(1, 0);
    context.jointsReg = 0.0;
    updateJoints(context, false);
    EXPECT_LE(maxDifference(context.jointTable.get(1, 0), c), 1e-12);
    // Regularised, the joint moves from c towards the prior.
    context.jointsReg = 2.0;
    updateJoints(context, false);
    Vector x = context.jointTable.get(1, 0);
    Vector prior = jointPrior(context, 1, 0);
    double toC = maxDifference(x, c), toPrior = maxDifference(x, prior);
    EXPECT_GT(toC, 1e-6);
    EXPECT_LT(toC, maxDifference(c, prior));
    EXPECT_LT(toPrior, maxDifference(c, prior));
}

TEST(JointUpdate, OnlyLinkedPairsUnlessAllPairsAndAlwaysMirrored)
{
    RiggingContext context;
    const int frames = 3;
    const Vector c = makeVector3(0.5, 0, 0);
    twoBoneRig(context,
               {turningAbout(frames, makeVector3(0, 0, 1), 0.2, c), turningAbout(frames, makeVector3(0, 1, 0), 0.1, c),
                turningAbout(frames, makeVector3(1, 0, 0), 0.3, c)},
               frames);
    const Vector untouched = makeVector3(7, 8, 9);
    context.jointTable.set(1, 0, untouched);
    context.jointTable.set(2, 1, untouched);
    context.jointsReg = 0.0;
    context.skeleton.addJoint(2, 0);
    updateJoints(context, false);
    EXPECT_EQ(maxDifference(context.jointTable.get(1, 0), untouched), 0.0);
    EXPECT_EQ(maxDifference(context.jointTable.get(2, 1), untouched), 0.0);
    EXPECT_LT(maxDifference(context.jointTable.get(2, 0), c), 1e-9);
    EXPECT_EQ(maxDifference(context.jointTable.get(2, 0), context.jointTable.get(0, 2)), 0.0);

    updateJoints(context, true);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < i; ++j) {
            EXPECT_LT(maxDifference(context.jointTable.get(i, j), c), 1e-9) << i << " " << j;
            EXPECT_EQ(maxDifference(context.jointTable.get(i, j), context.jointTable.get(j, i)), 0.0);
        }
}

TEST(JointUpdate, UnregularisedSingularPairKeepsItsJoint)
{
    RiggingContext context;
    const int frames = 4;
    const Vector c = makeVector3(0.5, 0.5, 0);
    // Both bones turn about the z axis: nothing fixes the joint's z, so the
    // normal equations are singular and the solve yields a NaN there.
    twoBoneRig(context,
               {turningAbout(frames, makeVector3(0, 0, 1), 0.2, c), turningAbout(frames, makeVector3(0, 0, 1), -0.1, c)},
               frames);
    context.jointsReg = 0.0;
    context.skeleton.addJoint(0, 1);
    const Vector before = makeVector3(0.25, 0.75, 1.5);
    context.jointTable.set(1, 0, before);
    updateJoints(context, false);
    EXPECT_EQ(maxDifference(context.jointTable.get(1, 0), before), 0.0);
    EXPECT_EQ(maxDifference(context.jointTable.get(0, 1), before), 0.0);

    // Identical tracks: the elimination itself refuses; the joint stays too.
    context.bones[1] = context.bones[0];
    updateJoints(context, false);
    EXPECT_EQ(maxDifference(context.jointTable.get(1, 0), before), 0.0);
}

} // namespace
