#include <gtest/gtest.h>

#include <cmath>

#include "formats/joint_frames.h"
#include "formats/rigid_pose.h"
#include "skeleton/rig_fixture.h"

namespace {

// Rotation by angle about a unit axis, row-major.
void axisAngle(const double* a, double angle, double* r)
{
    const Matrix m = rigtest::rotation(a[0], a[1], a[2], angle);
    for (int k = 0; k < 9; ++k)
        r[k] = m[k / 3][k % 3];
}

void expectNear(const double* a, const double* b, double tolerance)
{
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(a[k], b[k], tolerance) << "entry " << k;
}

TEST(RigidPose, QuaternionsAndSplitsKeepRotationsAndReflections)
{
    // Small and large angles about each axis and about oblique axes reach
    // every branch of the conversion, including half turns.
    const double s = 1.0 / std::sqrt(3.0);
    const double axes[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {s, s, s}, {s, -s, s}, {0.6, 0.0, -0.8}};
    double r[9], m[9], q[9], sign = 0.0;
    for (const auto& axis : axes)
        for (double angle : {0.0, 0.3, 2.0, 3.0, 3.14159265358979, -2.5}) {
            SCOPED_TRACE(angle);
            axisAngle(axis, angle, r);
            double u[4];
            rotationToQuaternion(r, u);
            EXPECT_NEAR(u[0] * u[0] + u[1] * u[1] + u[2] * u[2] + u[3] * u[3], 1.0, 1e-15);
            const double x = u[0], y = u[1], z = u[2], w = u[3];
            const double back[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w),
                                    2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
                                    2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)};
            expectNear(back, r, 1e-14);
            // A rotation passes unchanged; a reflection −R becomes sign −1 with R
            // (a mirror in one plane for the half turns).
            for (double flip : {1.0, -1.0}) {
                for (int k = 0; k < 9; ++k)
                    m[k] = flip * r[k];
                ASSERT_TRUE(splitRigidLinear(m, q, sign));
                EXPECT_EQ(sign, flip);
                expectNear(q, r, 1e-14);
            }
        }
    // A stretched rotation gives back an orthonormal matrix close to it.
    axisAngle(axes[5], 1.1, r);
    for (int k = 0; k < 9; ++k)
        m[k] = r[k] * (k < 3 ? 1.002 : 1.0) + (k == 5 ? 3e-4 : 0.0);
    ASSERT_TRUE(splitRigidLinear(m, q, sign));
    EXPECT_EQ(sign, 1.0);
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(q[a] * q[b] + q[3 + a] * q[3 + b] + q[6 + a] * q[6 + b], a == b ? 1.0 : 0.0, 1e-14);
    expectNear(q, r, 2e-3);
    // Singular and broken matrices are refused.
    const double flat[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0}, broken[9] = {1, 0, 0, 0, std::nan(""), 0, 0, 0, 1};
    EXPECT_FALSE(splitRigidLinear(flat, q, sign));
    EXPECT_FALSE(splitRigidLinear(broken, q, sign));
}

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
