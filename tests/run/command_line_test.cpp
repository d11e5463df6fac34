#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "run/command_line.h"

namespace {

ParseResult parse(RiggingContext& c, std::vector<const char*> args)
{
    args.insert(args.begin(), "Tolvan");
    return parseCommandLine(c, int(args.size()), args.data());
}

TEST(CommandLine, OptionsAndFilesInterleave)
{
    RiggingContext c;
    EXPECT_EQ(parse(c, {"-NNZ", "3", "a", "-RATE", "2.5", "b", "-SIG_WEIGHT", "0.3", "c", "d"}), ParseResult::Ok);
    EXPECT_EQ(c.nnz, 3);
    EXPECT_EQ(c.lambdaRate, 2.5);
    EXPECT_EQ(c.sigWeight, 0.3);
    EXPECT_EQ(sequenceFile, "a");
    EXPECT_EQ(restPoseFile, "b");
    EXPECT_EQ(outputFile, "c");
}

TEST(CommandLine, ValueIsAlwaysConsumedAndConvertedLikeAtoi)
{
    RiggingContext c;
    EXPECT_EQ(parse(c, {"-NNZ", "seq.txt", "rest.obj", "out.rig.txt"}), ParseResult::MissingFiles);
    EXPECT_EQ(c.nnz, 0);
    EXPECT_EQ(sequenceFile, "rest.obj");
    EXPECT_EQ(parse(c, {"-DBG", " 2abc", "-MAX_NB", "-7", "-OMEGA", "1e-2x", "a", "b", "c"}), ParseResult::Ok);
    EXPECT_EQ(c.debugLevel, 2);
    EXPECT_EQ(c.maxInitClusters, -7);
    EXPECT_EQ(c.omega, 0.01);
    // A later occurrence overrides; a value that looks like an option is still a value.
    EXPECT_EQ(parse(c, {"-N_REP", "4", "-N_REP", "-DBG", "a", "b", "c"}), ParseResult::Ok);
    EXPECT_EQ(c.rigIterations, 0);
}

TEST(CommandLine, EmptyArgumentsFillNoSlotAndUnknownOptionsAreFiles)
{
    RiggingContext c;
    EXPECT_EQ(parse(c, {"", "a", "", "-x", "b"}), ParseResult::Ok);
    EXPECT_EQ(sequenceFile, "a");
    EXPECT_EQ(restPoseFile, "-x");
    EXPECT_EQ(outputFile, "b");
    EXPECT_EQ(parse(c, {}), ParseResult::MissingFiles);
    EXPECT_TRUE(sequenceFile.empty());
}

TEST(CommandLine, OptionWithoutValue)
{
    RiggingContext c;
    EXPECT_EQ(parse(c, {"a", "b", "c", "-OMEGA"}), ParseResult::MissingValue);
    EXPECT_EQ(c.omega, 0.001);
}

TEST(CommandLine, RefusesUnusableValues)
{
    RiggingContext c;
    EXPECT_TRUE(checkParameters(c).empty());
    c.nnz = 0;
    EXPECT_NE(checkParameters(c).find("-NNZ 0"), std::string::npos);
    c.nnz = 1;
    c.omega = -1;
    EXPECT_NE(checkParameters(c).find("-OMEGA"), std::string::npos);
    c.omega = 0;
    EXPECT_TRUE(checkParameters(c).empty());
}

TEST(CommandLine, UsageShowsCurrentValuesInScientificNotation)
{
    RiggingContext c;
    std::ostringstream out;
    printUsage(c, out);
    std::string text = out.str();
    EXPECT_NE(text.find("    -DBG x          Debug info x=(0-no print, 1-brief, 2-log), default x=1\n"), std::string::npos);
    EXPECT_NE(text.find("    -RATE x         Lambda growth rate (Lambda*=x), default x=1.500000e+00\n"), std::string::npos);
    EXPECT_NE(text.find("default x=5.000000e-04\n"), std::string::npos);
    EXPECT_NE(text.find("    -PRUNE_SCALE x  Prune bone j if w_j^2<x*maxw^2, default x=1.000000e-02\n"), std::string::npos);
    EXPECT_EQ(text.find("SIG_WEIGHT"), std::string::npos);
    size_t firstLine = text.find('\n');
    EXPECT_EQ(firstLine, 79u);
    EXPECT_EQ(text.find('\n', firstLine + 1), 2 * 79u + 1);
}

} // namespace
