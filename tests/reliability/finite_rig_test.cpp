// The last check before writing: a rig holding a non-finite number anywhere
// a rig file would show it is refused, and the place is named.
#include <gtest/gtest.h>

#include <limits>

#include "run/driver.h"

namespace {

// Two linked bones over two frames, three vertices, every number finite.
RiggingContext twoBoneRig()
{
    RiggingContext c;
    c.numBones = 2;
    c.numFrames = 2;
    c.numVertices = 3;
    c.skeleton.reset(2);
    c.skeleton.addJoint(0, 1);
    resizePointTable(c.jointTable, 2, 2);
    c.bones.resize(2);
    for (Bone& b : c.bones) {
        b.rotations.assign(2, zeroMatrix3());
        b.translations.assign(2, makeVector3(0, 0, 0));
    }
    resizeMatrix(c.weights, 3, 2);
    return c;
}

} // namespace

TEST(FiniteRig, EveryWrittenNumberIsChecked)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::string where;
    RiggingContext c = twoBoneRig();
    EXPECT_TRUE(rigIsFinite(c, where));

    c.jointTable.point(1, 0)[2] = inf;
    EXPECT_FALSE(rigIsFinite(c, where));
    EXPECT_EQ(where, "the joint between bones 1 and 0");

    c = twoBoneRig();
    c.bones[1].rotations[1][2][0] = nan;
    EXPECT_FALSE(rigIsFinite(c, where));
    EXPECT_EQ(where, "the transformation of bone 1 in frame 1");

    c = twoBoneRig();
    c.bones[0].translations[1][2] = -inf;
    EXPECT_FALSE(rigIsFinite(c, where));
    EXPECT_EQ(where, "the transformation of bone 0 in frame 1");

    c = twoBoneRig();
    c.weights[2][1] = nan;
    EXPECT_FALSE(rigIsFinite(c, where));
    EXPECT_EQ(where, "the weights of vertex 2");

    // A joint position of an unlinked pair is not written, so it is not checked.
    c = twoBoneRig();
    c.skeleton.reset(2);
    c.jointTable.point(0, 1)[0] = nan;
    EXPECT_TRUE(rigIsFinite(c, where));
}
