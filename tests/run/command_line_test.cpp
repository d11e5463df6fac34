#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "run/command_line.h"

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
    // The value is always consumed, even when it looks like a file or an option.
    EXPECT_EQ(parse(c, {"-NNZ", "seq.txt", "rest.obj", "out.rig.txt"}), ParseResult::MissingFiles);
    EXPECT_TRUE(c.nnz == 0 && sequenceFile == "rest.obj");
    ASSERT_EQ(parse(c, {"-DBG", " 2abc", "-MAX_NB", "-7", "-OMEGA", "1e-2x", "a", "b", "c"}), ParseResult::Ok);
    EXPECT_TRUE(c.debugLevel == 2 && c.maxInitClusters == -7 && c.omega == 0.01);
    ASSERT_EQ(parse(c, {"-N_REP", "4", "-N_REP", "-DBG", "a", "b", "c"}), ParseResult::Ok); // the later one counts
    EXPECT_EQ(c.rigIterations, 0);
    // Empty arguments fill no slot; unknown options are file names.
    ASSERT_EQ(parse(c, {"", "a", "", "-x", "b"}), ParseResult::Ok);
    EXPECT_TRUE(sequenceFile == "a" && restPoseFile == "-x" && outputFile == "b");
    EXPECT_EQ(parse(c, {}), ParseResult::MissingFiles);
    EXPECT_TRUE(sequenceFile.empty());
    RiggingContext d;
    EXPECT_EQ(parse(d, {"a", "b", "c", "-OMEGA"}), ParseResult::MissingValue);
    ASSERT_EQ(parse(c, {"a", "b", "c", "-NNZ", "2"}), ParseResult::Ok); // a value may end the line
    EXPECT_EQ(c.nnz, 2);
    EXPECT_EQ(d.omega, 0.001);
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

} // namespace
