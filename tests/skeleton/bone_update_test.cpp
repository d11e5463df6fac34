#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "linalg/svd3.h"
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

// The B step as the algorithm states it: bone after bone, each with all its
// frames, from the public pieces.
void boneByBoneStep(RiggingContext& c, double lambda)
{
    computeResiduals(c);
    const double h = lambda * double(c.numVertices) / double(c.numBones - 1);
    std::vector<double> source, target;
    for (int j = 0; j < c.numBones; ++j) {
        const Vector cs = boneSourcePoints(c, j, source, h);
        if (!(std::isfinite(cs[0]) && std::isfinite(cs[1]) && std::isfinite(cs[2])))
            continue;
        addBoneContribution(c, j, 1.0);
        const std::size_t count = c.boneVertices[j].size();
        std::size_t joints = 0;
        for (int k = 0; k < c.numBones; ++k)
            joints += k != j && c.skeleton.adjacency[j][k] ? 1 : 0;
        for (int f = 0; f < c.numFrames; ++f) {
            const Vector ct = boneTargetPoints(c, j, f, target, h);
            double m[3][3] = {};
            for (std::size_t i = 0; i < count + joints; ++i) {
                const double weight = i < count ? c.weights[c.boneVertices[j][i]][j] : h;
                for (int a = 0; a < 3; ++a)
                    for (int b = 0; b < 3; ++b)
                        m[a][b] = m[a][b] + (weight * source[3 * i + a]) * target[3 * i + b];
            }
            Matrix M = zeroMatrix3();
            bool finite = std::isfinite(ct[0]) && std::isfinite(ct[1]) && std::isfinite(ct[2]);
            for (int a = 0; a < 3; ++a)
                for (int b = 0; b < 3; ++b) {
                    M[a][b] = m[a][b];
                    finite = finite && std::isfinite(m[a][b]);
                }
            if (finite)
                rotationFromCovariance(M, cs, ct, c.bones[j].rotations[f], c.bones[j].translations[f]);
        }
        addBoneContribution(c, j, -1.0);
    }
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(BoneUpdate, FrameByFrameGivesTheBoneByBoneBits)
{
    // Overlapping candidate lists of up to three bones, a skeleton with joints,
    // a bone without vertices and a list that holds a vertex twice.
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const int frames = 7, numBones = 6;
    std::vector<Bone> start;
    for (int k = 0; k < numBones; ++k)
        start.push_back(movingBone(frames, makeVector3(u(rng), u(rng), 1), 0.2 * u(rng),
                                   makeVector3(u(rng), u(rng), u(rng))));
    Matrix rest;
    addCloud(rest, makeVector3(0, 0, 0), 30);
    RiggingContext context;
    setUp(context, rest, start, frames);
    for (int v = 0; v < 30; ++v) {
        const int a = v % 5, b = (v + 1) % 5, c = (v + 3) % 5;
        context.weights[v][a] = 0.5 + 0.2 * u(rng);
        context.weights[v][b] = v % 2 ? 0.0 : 0.3;
        context.weights[v][c] = 0.25;
    }
    candidatesAndSequence(context, {start[3], start[0], start[4], start[1], start[2]});
    for (int f = 0; f < frames; ++f)
        for (int v = 0; v < 30; ++v)
            context.sequence.point(f, v)[1] += 0.05 * u(rng);
    context.boneVertices[2].insert(context.boneVertices[2].begin() + 3, context.boneVertices[2][3]);
    for (int k = 1; k < numBones; ++k) {
        context.skeleton.addJoint(k, k - 1);
        const Vector q = makeVector3(u(rng), u(rng), u(rng));
        context.jointTable.set(k, k - 1, q);
        context.jointTable.set(k - 1, k, q);
    }
    for (double lambda : {0.0, 2.5}) {
        RiggingContext reference = context;
        boneByBoneStep(reference, lambda);
        RiggingContext fast = context;
        updateBoneTransformations(fast, lambda);
        for (int j = 0; j < numBones; ++j)
            for (int f = 0; f < frames; ++f)
                for (int a = 0; a < 3; ++a) {
                    ASSERT_TRUE(sameBits(fast.bones[j].translations[f][a], reference.bones[j].translations[f][a]))
                        << "lambda " << lambda << " bone " << j << " frame " << f;
                    for (int b = 0; b < 3; ++b)
                        ASSERT_TRUE(sameBits(fast.bones[j].rotations[f][a][b], reference.bones[j].rotations[f][a][b]));
                }
        for (std::size_t i = 0; i < fast.residuals.values.size(); ++i)
            ASSERT_TRUE(sameBits(fast.residuals.values[i], reference.residuals.values[i])) << "residual " << i;
        EXPECT_GT(maxDifference(fast.bones[0], start[0]), 0.0);
        if (lambda == 0.0) {
            EXPECT_EQ(maxDifference(fast.bones[5], start[5]), 0.0); // no vertex, joints weighed 0
        }
    }
}

} // namespace
