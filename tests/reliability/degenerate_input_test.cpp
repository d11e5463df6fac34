// Degenerate but readable inputs and options at extreme values go through
// the whole run in a child process with a time limit. Each ends either with
// a complete rig holding only finite numbers, or with exit code 1, one line
// naming the reason on the error stream and no rig file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "child_process.h"
#include "degenerate_meshes.h"
#include "io/io_test_files.h"
#include "support/run_files.h"

namespace {

// Generous enough for a sanitizer build on a busy machine; these runs take
// well under a second in a plain build.
constexpr unsigned kSeconds = 60;

struct Outcome {
    testchild::Outcome child;
    int exitCode = -1;
    std::string out, err;
};

using MeshMaker = void (*)(RiggingContext&, Triangles&);

// Writes the mesh, runs the program on it in a child with the options
// (and "-N_REP 2" unless they set it) and collects what it printed.
Outcome runOn(MeshMaker make, std::vector<std::string> options = {})
{
    RiggingContext context;
    Triangles triangles;
    make(context, triangles);
    testrun::writeInputs(context, triangles, "seq.txt", "rest.obj");
    bool repsGiven = false;
    for (const std::string& o : options)
        repsGiven = repsGiven || o == "-N_REP";
    if (!repsGiven)
        options.insert(options.begin(), {"-N_REP", "2"});
    for (const char* name : {"seq.txt", "rest.obj", "out.rig.txt"})
        options.push_back(name);

    Outcome o;
    o.child = testchild::runInChild(
        [&](std::string& report) {
            testrun::RunResult r = testrun::run(options);
            report = r.out + '\x1f' + r.err;
            return r.exitCode;
        },
        -1, kSeconds);
    const std::size_t split = o.child.report.find('\x1f');
    if (o.child.finished && split != std::string::npos) {
        o.exitCode = o.child.code;
        o.out = o.child.report.substr(0, split);
        o.err = o.child.report.substr(split + 1);
    }
    return o;
}

// Every number of the rig file (all but its comment lines) is finite.
bool rigNumbersFinite(const std::string& text, std::string& bad)
{
    std::istringstream lines(text);
    std::string line, token;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '#')
            continue;
        std::istringstream tokens(line);
        while (tokens >> token) {
            char* end = nullptr;
            const double x = std::strtod(token.c_str(), &end);
            if (*end != '\0' || !std::isfinite(x)) {
                bad = token;
                return false;
            }
        }
    }
    return true;
}

// The line of bone 0 in frame f of a rig file.
std::string boneLine(const std::string& rig, int f)
{
    std::istringstream lines(rig.substr(rig.find("# BONES")));
    std::string line;
    while (std::getline(lines, line))
        if (line == std::to_string(f))
            return std::getline(lines, line) ? line : "";
    return "";
}

// Exit 0 and a complete rig: one weight row per vertex, weights non-negative
// and summing to one, every number finite.
void expectRig(const Outcome& o, int numVertices, int numFrames, int minBones, int maxBones)
{
    ASSERT_TRUE(o.child.finished) << o.child.describe();
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err, "");
    const testrun::Rig rig = testrun::readRig("out.rig.txt");
    ASSERT_TRUE(rig.ok);
    EXPECT_EQ(rig.numVertices, numVertices);
    EXPECT_EQ(rig.numFrames, numFrames);
    EXPECT_GE(rig.numBones, minBones);
    EXPECT_LE(rig.numBones, maxBones);
    std::string bad;
    EXPECT_TRUE(rigNumbersFinite(readWholeFile("out.rig.txt"), bad)) << bad;
    for (std::size_t v = 0; v < rig.weights.size(); ++v) {
        double sum = 0.0;
        for (auto [bone, w] : rig.weights[v]) {
            EXPECT_TRUE(bone >= 0 && bone < rig.numBones) << "vertex " << v;
            EXPECT_GE(w, 0.0) << "vertex " << v;
            sum += w;
        }
        EXPECT_NEAR(sum, 1.0, 1e-5) << "vertex " << v;
    }
}

// Exit 1 with one line "Tolvan: <reason>" on the error stream, no rig file.
void expectRefusal(const Outcome& o, const std::string& reason)
{
    ASSERT_TRUE(o.child.finished) << o.child.describe();
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err.rfind("Tolvan: ", 0), 0u) << o.err;
    EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << o.err;
    EXPECT_NE(o.err.find(reason), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find("internal error"), std::string::npos) << o.err;
    EXPECT_FALSE(std::filesystem::exists("out.rig.txt"));
}

struct DegenerateRun : ::testing::Test {
    testrun::ScratchDir dir{"degenerate"};
};

} // namespace

TEST_F(DegenerateRun, WellBehavedBarGivesARig)
{
    expectRig(runOn(degenerate::bentBar), 40, degenerate::kFrames, 2, 2);
}

// Nothing to rotate: one bone that follows the point. (The bounding box has
// no diagonal, so the console's percentages are not meaningful.)
TEST_F(DegenerateRun, EveryVertexAtOnePointGivesOneTranslatingBone)
{
    expectRig(runOn(degenerate::onePoint), 40, degenerate::kFrames, 1, 1);
    EXPECT_EQ(boneLine(readWholeFile("out.rig.txt"), 3), "0    1 0 0 0.3  0 1 0 0  0 0 1 0");
}

TEST_F(DegenerateRun, FlatMeshGivesARigOfBothHalves)
{
    expectRig(runOn(degenerate::flatGrid), 50, degenerate::kFrames, 2, 2);
}

TEST_F(DegenerateRun, FramesIdenticalToTheRestPoseGiveOneStillBone)
{
    expectRig(runOn(degenerate::motionless), 40, degenerate::kFrames, 1, 1);
    const std::string rig = readWholeFile("out.rig.txt");
    for (int f = 0; f < degenerate::kFrames; ++f)
        EXPECT_EQ(boneLine(rig, f), "0    1 0 0 0  0 1 0 0  0 0 1 0") << "frame " << f;
}

// The outlier dominates the fit; the rig is poor but complete and finite.
TEST_F(DegenerateRun, OneVertexJumpingFarInOneFrameStillGivesARig)
{
    expectRig(runOn(degenerate::jumpingVertex), 40, degenerate::kFrames, 1, 2);
}

// Squares of such coordinates overflow, so the rotation fits fall back to
// the identity; what is written stays finite.
TEST_F(DegenerateRun, CoordinatesNearTheEndOfTheDoubleRangeGiveAFiniteRig)
{
    expectRig(runOn([](RiggingContext& c, Triangles& t) { degenerate::scaled(c, t, 1e150); }), 40,
              degenerate::kFrames, 1, 2);
}

TEST_F(DegenerateRun, SixVerticesAreEnoughForOneBone)
{
    expectRig(runOn(degenerate::prism), 6, degenerate::kFrames, 1, 1);
}

TEST_F(DegenerateRun, TrianglesThatRepeatAVertexChangeNothing)
{
    expectRig(runOn(degenerate::repeatedVertices), 40, degenerate::kFrames, 2, 2);
}

TEST_F(DegenerateRun, VertexUsedByNoTriangleIsWeightedToo)
{
    expectRig(runOn(degenerate::lonelyVertex), 41, degenerate::kFrames, 2, 2);
}

TEST_F(DegenerateRun, OptionsAtExtremeValues)
{
    const std::vector<std::vector<std::string>> rigs = {
        {"-MAX_NB", "1"}, {"-MAX_SPLIT", "0"}, {"-N_REP", "0"}, {"-N_REP_W", "0"}, {"-RATE", "0"},
        {"-SIG_WEIGHT", "0"}, {"-JOINTS_REG", "0"}, {"-OMEGA", "1e6"},
    };
    for (const auto& options : rigs) {
        SCOPED_TRACE(options[0] + " " + options[1]);
        std::filesystem::remove("out.rig.txt");
        expectRig(runOn(degenerate::bentBar, options), 40, degenerate::kFrames, 1, 2);
    }
    // Every bone falls below a threshold twice the largest bone's own weight.
    SCOPED_TRACE("-PRUNE_SCALE 2");
    std::filesystem::remove("out.rig.txt");
    expectRefusal(runOn(degenerate::bentBar, {"-PRUNE_SCALE", "2"}), "pruning removed every bone");
}

// Every degenerate mesh with every extreme option: never a crash, a hang or
// a non-finite rig, whichever of the two outcomes a combination has.
TEST_F(DegenerateRun, EveryDegenerateMeshWithEveryExtremeOption)
{
    const MeshMaker meshes[] = {degenerate::onePoint, degenerate::flatGrid, degenerate::motionless,
                                degenerate::jumpingVertex, degenerate::prism, degenerate::repeatedVertices,
                                degenerate::lonelyVertex,
                                [](RiggingContext& c, Triangles& t) { degenerate::scaled(c, t, 1e150); }};
    const std::vector<std::vector<std::string>> options = {
        {"-MAX_NB", "1"}, {"-MAX_SPLIT", "0"}, {"-N_REP", "0"}, {"-N_REP_W", "0"}, {"-RATE", "0"},
        {"-PRUNE_SCALE", "2"}, {"-SIG_WEIGHT", "0"}, {"-JOINTS_REG", "0"}, {"-OMEGA", "1e6"},
    };
    for (std::size_t m = 0; m < std::size(meshes); ++m)
        for (const auto& option : options) {
            SCOPED_TRACE("mesh " + std::to_string(m) + " " + option[0] + " " + option[1]);
            std::filesystem::remove("out.rig.txt");
            const Outcome o = runOn(meshes[m], option);
            ASSERT_TRUE(o.child.finished) << o.child.describe();
            if (o.exitCode == 0) {
                std::string bad;
                EXPECT_TRUE(rigNumbersFinite(readWholeFile("out.rig.txt"), bad)) << bad;
            } else {
                expectRefusal(o, "");
            }
        }
}
