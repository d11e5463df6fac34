#include <gtest/gtest.h>

#include <cmath>

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

} // namespace
