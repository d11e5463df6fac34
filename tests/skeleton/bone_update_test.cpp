#include <gtest/gtest.h>

#include "skeleton/bone_update.h"
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

TEST(BoneUpdate, FrameWithRefusedCovarianceKeepsItsTransformation)
{
    // Collinear vertices moved onto other lines: every covariance has rank 1,
    // and round-off makes the SVD refuse some of them (λ0 < 0).
    const int frames = 12;
    Bone previous = movingBone(frames, makeVector3(0, 0, 1), 0.0, makeVector3(0, 0, 0));
    for (Vector& t : previous.translations)
        t = makeVector3(7, 7, 7);
    RiggingContext context;
    cloudRig(context, {previous}, {5});
    for (int i = 0; i < 5; ++i)
        context.restPose[i] = makeVector3(0.3 * (i - 2), 0.2 * (i - 2) + 0.1, -0.1 * (i - 2));
    candidatesAndSequence(context, {});
    for (int f = 0; f < frames; ++f)
        for (int v = 0; v < 5; ++v) {
            double t = v - 2.0 + 0.1 * f;
            context.sequence.set(f, v, makeVector3(t * std::cos(0.9 * f), 0.5 * t, t * std::sin(1.1 * f)));
        }
    updateBoneTransformations(context, 0.0);
    int kept = 0;
    for (int f = 0; f < frames; ++f) {
        bool same = maxDifference(context.bones[0].translations[f], previous.translations[f]) == 0.0;
        EXPECT_EQ(same, maxDifference(context.bones[0].rotations[f], previous.rotations[f]) == 0.0) << f;
        kept += same;
    }
    EXPECT_TRUE(kept > 0 && kept < frames) << kept;
    expectFreshResiduals(context);
}

} // namespace
