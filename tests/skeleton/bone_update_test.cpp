#include <gtest/gtest.h>

#include "skeleton/bone_update.h"
#include "skeleton/joint_update.h"
#include "skeleton/rig_fixture.h"

namespace {

using namespace rigtest;

// After the step the residuals must be those of the full blend with the new tracks.
void expectFreshResiduals(const RiggingContext& context)
{
    RiggingContext fresh = context;
    computeResiduals(fresh);
    for (int f = 0; f < context.numFrames; ++f)
        for (int v = 0; v < context.numVertices; ++v)
            EXPECT_LE(maxDifference(context.residuals.get(f, v), fresh.residuals.get(f, v)), 1e-13) << f << " " << v;
}

TEST(BoneUpdate, BlendedTruthIsRecoveredInBoneOrder)
{
    // Bone 1 sits on the truth, bone 0 at rest. Bone 0 fitted against bone
    // 1's residual recovers its truth, and bone 1 then sees the new bone 0.
    // The other order, or a stale residual, would miss both.
    std::vector<Bone> truth = {movingBone(5, makeVector3(0, 0, 1), 0.11, makeVector3(0.1, 0, 0.05)),
                               movingBone(5, makeVector3(1, 1, 0), -0.07, makeVector3(0, 0.2, 0))};
    RiggingContext context;
    cloudRig(context, {identityBone(5), truth[1]}, {5, 5});
    for (int v = 0; v < 10; ++v)
        context.weights[v] = Vector{v < 5 ? 0.7 : 0.4, v < 5 ? 0.3 : 0.6};
    candidatesAndSequence(context, truth);
    context.vertexBones[0] = {1, 0};
    updateBoneTransformations(context, 0.0);
    EXPECT_LE(maxDifference(context.bones[0], truth[0]), 1e-12);
    EXPECT_LE(maxDifference(context.bones[1], truth[1]), 1e-12);
    expectFreshResiduals(context);

    // A single bone: the joint weight λ·n/0 is never used; weights 0.2 .. 0.8.
    cloudRig(context, {identityBone(5)}, {7});
    for (int v = 0; v < 7; ++v)
        context.weights[v][0] = 0.2 + 0.1 * v;
    candidatesAndSequence(context, {truth[1]});
    std::reverse(context.boneVertices[0].begin(), context.boneVertices[0].end()); // not ascending: the other path
    updateBoneTransformations(context, 1.0);
    EXPECT_LE(maxDifference(context.bones[0], truth[1]), 1e-12);
}

TEST(BoneUpdate, JointWeightScalesWithLambdaAndVertexCount)
{
    // Bone 0 shifts by b_f and already sits there. Bone 1's four vertices stay
    // put; its joint, at their centroid, is carried by bone 0 to q + b_f. The
    // covariance is the vertices' alone, so bone 1 does not turn and shifts by
    // h·b_f / (4 + h), with h = lambda·numVertices / (numBones − 1).
    const Vector shift = makeVector3(0.125, -0.0625, 0.25);
    Bone moved = movingBone(5, makeVector3(0, 0, 1), 0.0, shift);
    for (double lambda : {1.0, 0.5}) {
        RiggingContext context;
        cloudRig(context, {moved, moved}, {4, 4});
        candidatesAndSequence(context, {moved, identityBone(5)});
        Vector q = makeVector3(0, 0, 0);
        for (int v = 4; v < 8; ++v)
            q = addVector3(q, scaleVector3(0.25, context.restPose[v]));
        context.skeleton.addJoint(0, 1);
        context.jointTable.set(0, 1, q);
        context.jointTable.set(1, 0, q);
        updateBoneTransformations(context, lambda);
        EXPECT_LE(maxDifference(context.bones[0], moved), 1e-12);
        EXPECT_LE(maxDifference(context.bones[1], movingBone(5, makeVector3(0, 0, 1), 0.0, scaleVector3(8 * lambda / (4 + 8 * lambda), shift))), 1e-12);
        expectFreshResiduals(context);
    }
}

TEST(BoneUpdate, BonesWithNothingToFitKeepTheirTracks)
{
    // Bone 1 lists two vertices at weight 0; bone 2 has no vertex and one
    // joint, which lambda 0 weighs 0: both weight sums are 0.
    std::vector<Bone> start = {identityBone(5), movingBone(5, makeVector3(1, 0, 0), 0.2, makeVector3(1, 2, 3)),
                               movingBone(5, makeVector3(0, 1, 0), 0.1, makeVector3(3, 2, 1))};
    RiggingContext context;
    cloudRig(context, start, {6});
    candidatesAndSequence(context, {start[1]});
    context.boneVertices[1] = {2, 4};
    context.vertexBones[2].push_back(1);
    context.vertexBones[4].push_back(1);
    context.skeleton.addJoint(2, 0);
    updateBoneTransformations(context, 0.0);
    EXPECT_EQ(maxDifference(context.bones[1], start[1]), 0.0);
    EXPECT_EQ(maxDifference(context.bones[2], start[2]), 0.0);
    expectFreshResiduals(context);
    // A negative count is an index error, not an empty loop.
    context.numFrames = -1;
    EXPECT_THROW(updateBoneTransformations(context, 0.0), std::out_of_range);
}

TEST(BoneUpdate, CollinearGroupGetsARotationInEveryFrame)
{
    // Collinear vertices moved onto other lines: every covariance has rank 1
    // (and rounds to a negative smallest eigenvalue in some frames). Each frame
    // still gets a proper rotation that carries the rest line onto the frame's.
    const int frames = 12;
    RiggingContext context;
    cloudRig(context, {movingBone(frames, makeVector3(0, 0, 1), 0.0, makeVector3(0, 0, 0))}, {5});
    const Vector restDirection = makeVector3(0.3, 0.2, -0.1);
    for (int i = 0; i < 5; ++i)
        context.restPose[i] = addVector3(makeVector3(0, 0.1, 0), scaleVector3(i - 2.0, restDirection));
    candidatesAndSequence(context, {});
    for (int f = 0; f < frames; ++f)
        for (int v = 0; v < 5; ++v) {
            double t = v - 2.0 + 0.1 * f;
            context.sequence.set(f, v, makeVector3(t * std::cos(0.9 * f), 0.5 * t, t * std::sin(1.1 * f)));
        }
    updateBoneTransformations(context, 0.0);
    for (int f = 0; f < frames; ++f) {
        const Matrix& R = context.bones[0].rotations[f];
        EXPECT_LE(maxDifference(multiply(transpose(R), R), identityBone(1).rotations[0]), 1e-12) << f;
        const Vector image = multiplyVector(R, restDirection);
        const Vector direction = makeVector3(std::cos(0.9 * f), 0.5, std::sin(1.1 * f));
        const double ratio = std::sqrt(multiplyVector({image}, image)[0] / multiplyVector({direction}, direction)[0]);
        EXPECT_LE(maxDifference(image, scaleVector3(ratio, direction)), 1e-12) << f;
    }
    expectFreshResiduals(context);
}

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
