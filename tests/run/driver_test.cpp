#include <gtest/gtest.h>

#include <cmath>

#include "run/driver.h"

namespace {

// The run's length scale and its two error measures on hand-made values.
TEST(Driver, BoxDiagonalAndErrors)
{
    RiggingContext c;
    c.restPose = {makeVector3(1, 2, 3), makeVector3(4, 6, 3), makeVector3(-2, 2, 15)};
    computeBoundingBox(c);
    EXPECT_EQ(c.boxDiagonal, 14.0); // (6, 4, 12)

    // Residuals (3, 4, 0) and (0, 0, 0) in frame 0, (0, 0, 1) twice in frame 1.
    c.numFrames = 2, c.numVertices = 2, c.numBones = 2;
    resizePointTable(c.residuals, 2, 2);
    c.residuals.set(0, 0, makeVector3(3, 4, 0));
    c.residuals.set(1, 0, makeVector3(0, 0, 1));
    c.residuals.set(1, 1, makeVector3(0, 0, 1));
    EXPECT_EQ(computeFitError(c), std::sqrt(27.0 / 4.0));

    // Bone 1 carries the joint (1, 0, 0) and (0, 2, 0) away from bone 0.
    const Matrix identity = {makeVector3(1, 0, 0), makeVector3(0, 1, 0), makeVector3(0, 0, 1)};
    c.bones = {{{identity, identity}, {makeVector3(0, 0, 0), makeVector3(0, 0, 0)}},
               {{identity, identity}, {makeVector3(1, 0, 0), makeVector3(0, 2, 0)}}};
    c.skeleton.reset(2);
    resizePointTable(c.jointTable, 2, 2);
    EXPECT_EQ(computeJointError(c), 0.0); // no joint
    c.skeleton.addJoint(0, 1);
    c.jointTable.set(1, 0, makeVector3(5, -1, 2));
    EXPECT_EQ(computeJointError(c), std::sqrt(2.5));
}

} // namespace
