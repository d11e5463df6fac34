#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "run/command_line.h"
#include "run/driver.h"
#include "support/two_bone_rig.h"

namespace {

ParseResult parse(RiggingContext& c, std::vector<const char*> args)
{
    args.insert(args.begin(), "Tolvan");
    return parseCommandLine(c, int(args.size()), args.data());
}

TEST(CommandLine, OptionsTakeTheNextArgumentAsValueLikeAtoi)
{
    RiggingContext c;
    ASSERT_EQ(parse(c, {"-NNZ", "3", "a", "-RATE", "2.5", "b", "-SIG_WEIGHT", "0.3", "c", "d"}), ParseResult::Ok);
    EXPECT_TRUE(c.nnz == 3 && c.lambdaRate == 2.5 && c.sigWeight == 0.3);
    EXPECT_TRUE(sequenceFile == "a" && restPoseFile == "b" && outputFile == "c");
    ASSERT_EQ(parse(c, {"-DBG", " 2abc", "-MAX_NB", "-7", "-OMEGA", "1e-2x", "a", "b", "c"}), ParseResult::Ok);
    EXPECT_TRUE(c.debugLevel == 2 && c.maxInitClusters == -7 && c.omega == 0.01);
    // The value is always consumed, even when it looks like an option; the later one counts.
    ASSERT_EQ(parse(c, {"-N_REP", "4", "-N_REP", "-DBG", "a", "b", "c"}), ParseResult::Ok);
    EXPECT_EQ(c.rigIterations, 0);
    // Empty arguments fill no slot; unknown options are file names.
    ASSERT_EQ(parse(c, {"", "a", "", "-x", "b"}), ParseResult::Ok);
    EXPECT_TRUE(sequenceFile == "a" && restPoseFile == "-x" && outputFile == "b");
    ASSERT_EQ(parse(c, {"a", "b", "c", "-NNZ", "2"}), ParseResult::Ok); // a value may end the line
    EXPECT_EQ(c.nnz, 2);
}

// The usage text is pinned by the expected outputs of the command-line cases.
TEST(CommandLine, RefusesUnusableValues)
{
    RiggingContext c;
    EXPECT_EQ(checkParameters(c), "");
    c.nnz = 0;
    EXPECT_NE(checkParameters(c).find("-NNZ 0"), std::string::npos);
    c.nnz = 1;
    // The refusal names the value and the accepted range; both ends are accepted.
    const struct {
        double omega;
        const char* message;
    } cases[] = {
        {-1, "-OMEGA -1: the smoothness weight must lie between 0 and 1e300"},
        {1.5e300, "-OMEGA 1.5e+300: the smoothness weight must lie between 0 and 1e300"},
        {HUGE_VAL, "-OMEGA inf: the smoothness weight must lie between 0 and 1e300"},
        {std::nan(""), "-OMEGA nan: the smoothness weight must lie between 0 and 1e300"},
        {0, ""},
        {1e300, ""},
    };
    for (const auto& t : cases) {
        c.omega = t.omega;
        EXPECT_EQ(checkParameters(c), t.message) << t.omega;
    }
}

// The last check before writing: a rig holding a non-finite number anywhere
// a rig file would show it is refused, and the place is named.
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
