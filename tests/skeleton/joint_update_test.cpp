#include <gtest/gtest.h>

#include <random>

#include "linalg/least_squares.h"
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

TEST(JointUpdate, SolvesEachPairAsItsOwnSystem)
{
    // Every pair's joint from its own least-squares system with jointPrior's
    // centroid, pair after pair: the joint update gives the same bits.
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<Bone> bones;
    for (int k = 0; k < 5; ++k)
        bones.push_back(movingBone(6, makeVector3(u(rng), u(rng), 1), 0.3 * u(rng), makeVector3(u(rng), u(rng), 0)));
    RiggingContext context;
    cloudRig(context, bones, std::vector<int>(5, 6));
    for (int v = 0; v < context.numVertices; ++v)
        context.weights[v][(v + 1) % 5] = 0.2 + 0.1 * u(rng);
    context.skeleton.addJoint(1, 0);
    context.skeleton.addJoint(3, 1);
    context.skeleton.addJoint(4, 2);
    context.skeleton.addJoint(2, 1);
    for (bool allPairs : {false, true}) {
        RiggingContext reference = context;
        const double r = std::sqrt(reference.jointsReg * reference.jointsReg * 6.0);
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < i; ++j) {
                if (!allPairs && !reference.skeleton.adjacency[i][j])
                    continue;
                Matrix A;
                resizeMatrix(A, 21, 3);
                Vector b(21, 0.0);
                for (int f = 0; f < 6; ++f) {
                    const Matrix d = subtractMatrix(bones[j].rotations[f], bones[i].rotations[f]);
                    const Vector e = subtractVector3(bones[i].translations[f], bones[j].translations[f]);
                    for (int k = 0; k < 3; ++k) {
                        A[3 * f + k] = d[k];
                        b[3 * f + k] = e[k];
                    }
                }
                const Vector c = jointPrior(reference, i, j);
                for (int k = 0; k < 3; ++k) {
                    A[18 + k][k] = r;
                    b[18 + k] = r * c[k];
                }
                Vector x = reference.jointTable.get(i, j);
                solveLeastSquares(A, b, x);
                reference.jointTable.set(i, j, x);
                reference.jointTable.set(j, i, x);
            }
        RiggingContext fast = context;
        updateJoints(fast, allPairs);
        EXPECT_EQ(fast.jointTable.values, reference.jointTable.values) << (allPairs ? "all pairs" : "linked pairs");
    }
}

} // namespace
