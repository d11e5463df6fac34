#include <gtest/gtest.h>

#include <cmath>

#include "rigid_pose.h"

namespace {

// Rotation by angle about a unit axis (Rodrigues), row-major.
void axisAngle(const double* a, double angle, double* r)
{
    double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    const double m[9] = {t * a[0] * a[0] + c,        t * a[0] * a[1] - s * a[2], t * a[0] * a[2] + s * a[1],
                         t * a[0] * a[1] + s * a[2], t * a[1] * a[1] + c,        t * a[1] * a[2] - s * a[0],
                         t * a[0] * a[2] - s * a[1], t * a[1] * a[2] + s * a[0], t * a[2] * a[2] + c};
    std::copy(m, m + 9, r);
}

void quaternionToMatrix(const double* q, double* r)
{
    double x = q[0], y = q[1], z = q[2], w = q[3];
    const double m[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w),
                         2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
                         2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)};
    std::copy(m, m + 9, r);
}

TEST(RigidPose, QuaternionsReproduceRotationsOfEveryKind)
{
    // Small and large angles about each axis and about oblique axes reach
    // every branch of the conversion, including half turns.
    const double s = 1.0 / std::sqrt(3.0);
    const double axes[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {s, s, s}, {s, -s, s}, {0.6, 0.0, -0.8}};
    for (const auto& axis : axes)
        for (double angle : {0.0, 0.3, 2.0, 3.0, 3.14159265358979, -2.5}) {
            double r[9], q[4], back[9];
            axisAngle(axis, angle, r);
            rotationToQuaternion(r, q);
            EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-15);
            quaternionToMatrix(q, back);
            for (int k = 0; k < 9; ++k)
                EXPECT_NEAR(back[k], r[k], 1e-14) << "angle " << angle << " entry " << k;
        }
}

TEST(RigidPose, SplitsReflectionsAndFindsTheNearestRotation)
{
    const double axis[3] = {0.6, 0.0, -0.8};
    double r[9], m[9], q[9], sign = 0.0;
    axisAngle(axis, 1.1, r);
    // A rotation passes unchanged.
    ASSERT_TRUE(splitRigidLinear(r, q, sign));
    EXPECT_EQ(sign, 1.0);
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(q[k], r[k], 1e-15);
    // A reflection -R becomes sign -1 with the rotation R.
    for (int k = 0; k < 9; ++k)
        m[k] = -r[k];
    ASSERT_TRUE(splitRigidLinear(m, q, sign));
    EXPECT_EQ(sign, -1.0);
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(q[k], r[k], 1e-15);
    // A mirror in one plane: -m is a half turn, still exact.
    const double mirror[9] = {1, 0, 0, 0, 1, 0, 0, 0, -1};
    ASSERT_TRUE(splitRigidLinear(mirror, q, sign));
    EXPECT_EQ(sign, -1.0);
    const double halfTurn[9] = {-1, 0, 0, 0, -1, 0, 0, 0, 1};
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(q[k], halfTurn[k], 1e-15);
    // A stretched rotation gives back an orthonormal matrix close to it.
    for (int k = 0; k < 9; ++k)
        m[k] = r[k] * (k < 3 ? 1.002 : 1.0) + (k == 5 ? 3e-4 : 0.0);
    ASSERT_TRUE(splitRigidLinear(m, q, sign));
    EXPECT_EQ(sign, 1.0);
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(q[a] * q[b] + q[3 + a] * q[3 + b] + q[6 + a] * q[6 + b], a == b ? 1.0 : 0.0, 1e-14);
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(q[k], r[k], 2e-3);
    // Singular and broken matrices are refused.
    const double flat[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(splitRigidLinear(flat, q, sign));
    double broken[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    broken[4] = std::nan("");
    EXPECT_FALSE(splitRigidLinear(broken, q, sign));
}

} // namespace
