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
    // One bad number each, and the place it is named by ("" for none: a
    // joint position of an unlinked pair is not written, so not checked).
    const struct {
        void (*spoil)(RiggingContext&, double);
        double value;
        const char* where;
    } cases[] = {
        {[](RiggingContext& r, double x) { r.jointTable.point(1, 0)[2] = x; }, inf, "the joint between bones 1 and 0"},
        {[](RiggingContext& r, double x) { r.bones[1].rotations[1][2][0] = x; }, nan,
         "the transformation of bone 1 in frame 1"},
        {[](RiggingContext& r, double x) { r.bones[0].translations[1][2] = x; }, -inf,
         "the transformation of bone 0 in frame 1"},
        {[](RiggingContext& r, double x) { r.weights[2][1] = x; }, nan, "the weights of vertex 2"},
        {[](RiggingContext& r, double x) { r.skeleton.reset(2), r.jointTable.point(0, 1)[0] = x; }, nan, ""},
    };
    for (const auto& t : cases) {
        c = twoBoneRig();
        t.spoil(c, t.value);
        where.clear();
        EXPECT_EQ(rigIsFinite(c, where), *t.where == '\0') << t.where;
        EXPECT_EQ(where, t.where);
    }
}
