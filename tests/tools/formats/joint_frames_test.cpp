#include <gtest/gtest.h>

#include <cmath>

#include "formats/joint_frames.h"

namespace {

TEST(JointFrames, SmallestRotationTakesOneDirectionToAnother)
{
    const double s = std::sqrt(0.5);
    const double cases[][6] = {{0, 1, 0, 1, 0, 0}, {0, 1, 0, 0, 1, 0}, {0, 1, 0, 0, -1, 0}, {s, s, 0, -s, -s, 0},
                               {1, 0, 0, 0, s, s}, {0, 0, 1, 0, 0, -1}};
    for (const auto& c : cases) {
        double r[9];
        smallestRotation(c, c + 3, r);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(r[i * 3] * c[0] + r[i * 3 + 1] * c[1] + r[i * 3 + 2] * c[2], c[3 + i], 1e-12) << c[3] << c[4] << c[5];
            for (int j = 0; j < 3; ++j) // orthonormal
                EXPECT_NEAR(r[i] * r[j] + r[3 + i] * r[3 + j] + r[6 + i] * r[6 + j], i == j ? 1.0 : 0.0, 1e-12);
        }
        const double det = r[0] * (r[4] * r[8] - r[5] * r[7]) - r[1] * (r[3] * r[8] - r[5] * r[6]) + r[2] * (r[3] * r[7] - r[4] * r[6]);
        EXPECT_NEAR(det, 1.0, 1e-12);
    }
}

// An L: bone 0 along x from the origin, its child bone 1 along y from (2, 0, 0),
// and bone 2 hanging from bone 1 at (2, 2, 0), its vertices going back along -x.
TEST(JointFrames, BonesFollowTheSkeletonWithoutRoll)
{
    RigData rig;
    rig.numBones = 3;
    std::vector<double> rest;
    for (int i = 0; i <= 4; ++i) {
        rest.insert(rest.end(), {0.5 * i, 0.0, 0.0, 2.0, 0.5 * i, 0.0, 2.0 - 0.5 * i, 2.0, 0.0});
        for (int b = 0; b < 3; ++b)
            rig.weights.push_back({{b, 1.0}});
    }
    rig.numVertices = int(rig.weights.size());
    rig.joints = {RigJoint{0, 1, {2, 0, 0}}, RigJoint{1, 2, {2, 2, 0}}};
    JointTree tree;
    buildJointTree(rig, rest, tree);
    ASSERT_EQ(tree.parent, std::vector<int>({-1, 0, 1}));
    // Columns x, y, z of each joint's rest axes: bone 0 turns the rest pose's
    // +Y onto +x about z; bone 1 turns back to +y, so it carries no roll;
    // the leaf points away from its head along its vertices.
    const double expected[3][9] = {{0, 1, 0, -1, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, -1, 0, 1, 0, 0, 0, 0, 1}};
    for (int b = 0; b < 3; ++b)
        for (int k = 0; k < 9; ++k)
            EXPECT_NEAR(tree.rotation[std::size_t(b) * 9 + std::size_t(k)], expected[b][k], 1e-9) << b << " " << k;
}

} // namespace
