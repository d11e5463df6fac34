#include <gtest/gtest.h>

#include <cmath>

#include "skeleton/bone_update.h"
#include "skeleton/rig_fixture.h"

namespace {

using namespace rigtest;

const int kFrames = 5;

std::vector<Bone> threeTruthBones()
{
    return {movingBone(kFrames, makeVector3(0, 0, 1), 0.11, makeVector3(0.1, 0.0, 0.05)),
            movingBone(kFrames, makeVector3(1, 1, 0), -0.07, makeVector3(0.0, 0.2, 0.0)),
            movingBone(kFrames, makeVector3(0.3, 1, 0.5), 0.05, makeVector3(-0.1, 0.05, 0.1))};
}

// Twelve vertices in three clouds; each vertex blends its own cloud's bone
// with a neighbouring one.
void blendedRig(RiggingContext& context, const std::vector<Bone>& start, const std::vector<Bone>& truth)
{
    Matrix rest;
    addCloud(rest, makeVector3(0, 0, 0), 4);
    addCloud(rest, makeVector3(1, 0, 0), 4);
    addCloud(rest, makeVector3(2, 0.5, 0), 4);
    setUp(context, rest, start, kFrames);
    for (int v = 0; v < 12; ++v) {
        int own = v / 4, other = (own + 1) % 3;
        double w = 0.55 + 0.1 * (v % 4);
        context.weights[v][own] = w;
        context.weights[v][other] = 1.0 - w;
    }
    candidatesFromWeights(context);
    blendSequence(context, truth);
}

void expectResidualsOfFreshBlend(const RiggingContext& context, double tolerance)
{
    RiggingContext fresh = context;
    computeResiduals(fresh);
    for (int f = 0; f < context.numFrames; ++f)
        for (int v = 0; v < context.numVertices; ++v)
            EXPECT_LE(maxDifference(context.residuals.get(f, v), fresh.residuals.get(f, v)), tolerance)
                << "frame " << f << " vertex " << v;
}

TEST(BoneUpdate, ResidualsBlendCandidatesInListOrder)
{
    RiggingContext context;
    blendedRig(context, threeTruthBones(), threeTruthBones());
    // Vertex 0 lists its bones best first; vertex 1 has a weight outside its candidates.
    context.vertexBones[0] = {1, 0};
    context.weights[1][2] = 0.25;
    for (int f = 0; f < kFrames; ++f)
        context.sequence.set(f, 3, makeVector3(1.0 + f, -2.0, 0.5));
    computeResiduals(context);
    ASSERT_EQ(context.residuals.rows, kFrames);
    ASSERT_EQ(context.residuals.columns, 12);
    for (int f = 0; f < kFrames; ++f)
        for (int v = 0; v < 12; ++v) {
            Vector s = makeVector3(0, 0, 0);
            for (int k : context.vertexBones[v])
                s = addVector3(s, scaleVector3(context.weights[v][k], transformPoint(context.bones[k], f, context.restPose[v])));
            Vector expected = subtractVector3(context.sequence.get(f, v), s);
            Vector r = context.residuals.get(f, v);
            EXPECT_EQ(r[0], expected[0]);
            EXPECT_EQ(r[1], expected[1]);
            EXPECT_EQ(r[2], expected[2]);
        }
}

TEST(BoneUpdate, ContributionRoundTripRemovesAndRestoresOneBone)
{
    RiggingContext context;
    blendedRig(context, threeTruthBones(), threeTruthBones());
    computeResiduals(context);
    addBoneContribution(context, 1, 1.0);
    // Without bone 1's share, a vertex of cloud 1 is left with w·(R_1·p + t_1).
    for (int f = 0; f < kFrames; ++f) {
        Vector expected = scaleVector3(context.weights[5][1], transformPoint(context.bones[1], f, context.restPose[5]));
        EXPECT_LE(maxDifference(context.residuals.get(f, 5), expected), 1e-14);
    }
    addBoneContribution(context, 1, -1.0);
    for (int f = 0; f < kFrames; ++f)
        for (int v = 0; v < 12; ++v)
            EXPECT_LE(maxDifference(context.residuals.get(f, v), makeVector3(0, 0, 0)), 1e-14);
}

TEST(BoneUpdate, BonesAreFittedInOrderAgainstEarlierNewTracks)
{
    // Bone 1 already sits on the truth, bone 0 starts at rest. Fitting bone 0
    // against the residual of bone 1 recovers bone 0; bone 1 then sees the new
    // bone 0 and stays. Fitting bone 1 first, against the wrong bone 0, would not.
    std::vector<Bone> truth = threeTruthBones();
    truth.pop_back();
    std::vector<Bone> start = truth;
    start[0] = identityBone(kFrames);
    RiggingContext context;
    Matrix rest;
    addCloud(rest, makeVector3(0, 0, 0), 5);
    addCloud(rest, makeVector3(1, 0.2, 0), 5);
    setUp(context, rest, start, kFrames);
    for (int v = 0; v < 10; ++v) {
        context.weights[v][0] = v < 5 ? 0.7 : 0.4;
        context.weights[v][1] = v < 5 ? 0.3 : 0.6;
    }
    candidatesFromWeights(context);
    blendSequence(context, truth);
    updateBoneTransformations(context, 0.0);
    for (int j = 0; j < 2; ++j)
        for (int f = 0; f < kFrames; ++f) {
            EXPECT_LE(maxDifference(context.bones[j].rotations[f], truth[j].rotations[f]), 1e-12) << j << " " << f;
            EXPECT_LE(maxDifference(context.bones[j].translations[f], truth[j].translations[f]), 1e-12) << j << " " << f;
        }
}

TEST(BoneUpdate, ResidualsAfterTheStepMatchTheFullBlend)
{
    std::vector<Bone> start = threeTruthBones();
    for (Bone& b : start)
        for (int f = 0; f < kFrames; ++f)
            b.rotations[f] = multiply(b.rotations[f], rotation(1, 0, 0, 0.2));
    RiggingContext context;
    blendedRig(context, start, threeTruthBones());
    // Candidates with zero weight, and joints between all three bones.
    context.vertexBones[2].push_back(2);
    context.boneVertices[2].insert(context.boneVertices[2].begin(), 2);
    context.skeleton.addJoint(0, 1);
    context.skeleton.addJoint(1, 2);
    context.jointTable.set(0, 1, makeVector3(0.5, 0, 0));
    context.jointTable.set(1, 0, makeVector3(0.5, 0, 0));
    context.jointTable.set(1, 2, makeVector3(1.5, 0.2, 0));
    context.jointTable.set(2, 1, makeVector3(1.5, 0.2, 0));
    updateBoneTransformations(context, 2.0);
    expectResidualsOfFreshBlend(context, 1e-13);
    for (const Bone& b : context.bones)
        for (int f = 0; f < kFrames; ++f)
            EXPECT_TRUE(std::isfinite(b.translations[f][0]) && std::isfinite(b.rotations[f][2][2]));
}

TEST(BoneUpdate, SingleBoneIsThePlainWeightedFit)
{
    // numBones − 1 = 0 makes the joint weight infinite; with no joint it is never used.
    std::vector<Bone> truth = {movingBone(kFrames, makeVector3(1, 2, 3), 0.3, makeVector3(0.5, -0.2, 0.1))};
    RiggingContext context;
    Matrix rest;
    addCloud(rest, makeVector3(0, 0, 0), 7);
    setUp(context, rest, {identityBone(kFrames)}, kFrames);
    for (int v = 0; v < 7; ++v)
        context.weights[v][0] = 0.2 + 0.1 * v;
    candidatesFromWeights(context);
    blendSequence(context, truth);
    updateBoneTransformations(context, 1.0);
    for (int f = 0; f < kFrames; ++f) {
        EXPECT_LE(maxDifference(context.bones[0].rotations[f], truth[0].rotations[f]), 1e-12);
        EXPECT_LE(maxDifference(context.bones[0].translations[f], truth[0].translations[f]), 1e-12);
    }
}

TEST(BoneUpdate, JointCarriesABoneWithoutVertices)
{
    // Bone 1 has no vertices, only its joint with bone 0: it ends up carrying
    // the joint exactly where the new bone 0 carries it, without turning.
    std::vector<Bone> truth = {movingBone(kFrames, makeVector3(0, 1, 0), 0.2, makeVector3(0.1, 0.1, 0))};
    RiggingContext context;
    Matrix rest;
    addCloud(rest, makeVector3(0, 0, 0), 4);
    setUp(context, rest, {identityBone(kFrames), identityBone(kFrames)}, kFrames);
    for (int v = 0; v < 4; ++v)
        context.weights[v][0] = 1.0;
    candidatesFromWeights(context);
    blendSequence(context, {truth[0], identityBone(kFrames)});
    context.skeleton.addJoint(1, 0);
    const Vector q = makeVector3(0.75, -0.5, 0.25);
    context.jointTable.set(0, 1, q);
    context.jointTable.set(1, 0, q);
    // h = 1·4/1 = 4: the centroids of the single joint pair are exact.
    updateBoneTransformations(context, 1.0);
    Matrix identity = rotation(0, 0, 1, 0.0);
    for (int f = 0; f < kFrames; ++f) {
        Vector y = transformPoint(context.bones[0], f, q);
        EXPECT_EQ(maxDifference(context.bones[1].rotations[f], identity), 0.0);
        EXPECT_EQ(maxDifference(context.bones[1].translations[f], subtractVector3(y, q)), 0.0);
    }
}

TEST(BoneUpdate, JointWeightScalesWithLambdaAndVertexCount)
{
    // Bone 0 shifts by b_f and already sits there. Bone 1's four vertices stay
    // put, and its joint, at their centroid, is carried by bone 0 to q + b_f.
    // The covariance is then that of the vertices alone, so bone 1 does not
    // turn and shifts by the weighted mean h·b_f / (4 + h), where
    // h = lambda·numVertices / (numBones − 1).
    const Vector shift = makeVector3(0.125, -0.0625, 0.25);
    Bone zero = movingBone(kFrames, makeVector3(0, 0, 1), 0.0, shift);
    for (double lambda : {1.0, 0.5}) {
        RiggingContext context;
        Matrix rest;
        addCloud(rest, makeVector3(-1, 0, 0), 4);
        addCloud(rest, makeVector3(1, 0, 0), 4);
        setUp(context, rest, {zero, zero}, kFrames);
        Vector q = makeVector3(0, 0, 0);
        for (int v = 0; v < 8; ++v) {
            context.weights[v][v / 4] = 1.0;
            if (v >= 4)
                q = addVector3(q, scaleVector3(0.25, rest[v]));
        }
        candidatesFromWeights(context);
        blendSequence(context, {zero, identityBone(kFrames)});
        context.skeleton.addJoint(0, 1);
        context.jointTable.set(0, 1, q);
        context.jointTable.set(1, 0, q);
        updateBoneTransformations(context, lambda);
        const double h = lambda * 8.0;
        for (int f = 0; f < kFrames; ++f) {
            EXPECT_LE(maxDifference(context.bones[0].translations[f], zero.translations[f]), 1e-14);
            Vector expected = scaleVector3(h * f / (4.0 + h), shift);
            EXPECT_LE(maxDifference(context.bones[1].translations[f], expected), 1e-14) << lambda << " " << f;
            EXPECT_LE(maxDifference(context.bones[1].rotations[f], rotation(0, 0, 1, 0.0)), 1e-14);
        }
    }
}

TEST(BoneUpdate, BonesWithNothingToFitKeepTheirTracks)
{
    std::vector<Bone> start = threeTruthBones();
    RiggingContext context;
    blendedRig(context, start, threeTruthBones());
    // Bone 1: listed vertices all at weight 0. Bone 2: no vertex, one joint
    // with bone 0, but lambda 0 gives it joint weight 0.
    for (int v = 0; v < 12; ++v) {
        context.weights[v][0] += context.weights[v][1] + context.weights[v][2];
        context.weights[v][1] = 0.0;
        context.weights[v][2] = 0.0;
    }
    candidatesFromWeights(context);
    context.boneVertices[1] = {4, 5};
    context.vertexBones[4].push_back(1);
    context.vertexBones[5].push_back(1);
    context.skeleton.addJoint(2, 0);
    updateBoneTransformations(context, 0.0);
    for (int j = 1; j < 3; ++j)
        for (int f = 0; f < kFrames; ++f) {
            EXPECT_EQ(maxDifference(context.bones[j].rotations[f], start[j].rotations[f]), 0.0);
            EXPECT_EQ(maxDifference(context.bones[j].translations[f], start[j].translations[f]), 0.0);
        }
    expectResidualsOfFreshBlend(context, 1e-13);
}

TEST(BoneUpdate, PointListsAndCentroids)
{
    RiggingContext context;
    blendedRig(context, threeTruthBones(), threeTruthBones());
    context.skeleton.addJoint(0, 2);
    const Vector q = makeVector3(2.0, 1.0, -1.0);
    context.jointTable.set(0, 2, q);
    computeResiduals(context);
    addBoneContribution(context, 0, 1.0);

    std::vector<double> source, target;
    // Weight w² per vertex: vertices 0..3 (w = 0.55 .. 0.85) and 8..11 (w = 0.45 .. 0.15).
    Vector cs = boneSourcePoints(context, 0, source, 0.0);
    const std::vector<int>& list = context.boneVertices[0];
    ASSERT_EQ(source.size(), 3 * (list.size() + 2));
    double W = 0.0, sx = 0.0;
    for (int v : list) {
        double w = context.weights[v][0];
        W += w * w;
        sx += w * w * context.restPose[v][0];
    }
    EXPECT_NEAR(cs[0], sx / W, 1e-15);
    EXPECT_EQ(source[0], context.restPose[list[0]][0] - cs[0]);
    // With joint weight 0 the joint adds nothing but still takes its slot.
    EXPECT_EQ(source[3 * list.size() + 1], q[1] - cs[1]);
    Vector cs4 = boneSourcePoints(context, 0, source, 4.0);
    EXPECT_NEAR(cs4[0], (sx + 4.0 * q[0]) / (W + 4.0), 1e-15);

    // The residual of a vertex without bone 0 is w·(R_0·p + t_0): the target
    // centroid is the weighted mean of the blended positions.
    Vector ct = boneTargetPoints(context, 0, 3, target, 0.0);
    ASSERT_EQ(target.size(), source.size());
    Vector mean = makeVector3(0, 0, 0);
    for (int v : list) {
        double w = context.weights[v][0];
        mean = addVector3(mean, scaleVector3(w * w / W, transformPoint(context.bones[0], 3, context.restPose[v])));
    }
    EXPECT_LE(maxDifference(ct, mean), 1e-14);
    Vector y = transformPoint(context.bones[2], 3, q);
    EXPECT_EQ(target[3 * list.size()], y[0] - ct[0]);
}

} // namespace
