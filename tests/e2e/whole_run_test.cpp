#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/bar_mesh.h"
#include "support/quiet_regex.h"
#include "support/run_files.h"

namespace {

// A bar of three segments bending at two places, or a mesh of 4 vertices.
void makeInputs(const std::string& kind)
{
    RiggingContext context;
    Triangles triangles;
    if (kind == "tiny") {
        for (int v = 0; v < 4; ++v)
            context.restPose.push_back(makeVector3(v, v % 2, v / 2));
        triangles = {{0, 1, 2}, {1, 3, 2}};
        testmesh::animateParts(context, triangles, std::vector<int>(4, 0), 3, 0);
    } else {
        testmesh::makeBar(15, 0, context.restPose, triangles);
        std::vector<int> partOf(60, 0);
        for (int v = 0; v < 60; ++v)
            partOf[v] = v < 20 ? 0 : v < 40 ? 1 : 2;
        testmesh::animateParts(context, triangles, partOf, 10, 7);
    }
    testrun::writeInputs(context, triangles, "seq.txt", "rest.obj");
}

// Exit 0 without a message, a rig of the mesh with a spanning skeleton and
// sound weight rows, and a last fit error under 2 % (the joint constraints
// keep it above 0).
void expectGoodRig(const testrun::RunResult& r, int vertices, int minBones)
{
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const testrun::Rig rig = testrun::readRig("out.rig.txt");
    ASSERT_TRUE(rig.ok);
    EXPECT_EQ(rig.numVertices, vertices);
    EXPECT_GE(rig.numBones, minBones);
    EXPECT_EQ(rig.numJoints, rig.numBones - 1);
    testrun::expectWeightRows(rig, 4);
    const std::size_t last = r.out.rfind("Ef=");
    ASSERT_NE(last, std::string::npos);
    EXPECT_LT(std::stod(r.out.substr(last + 3)), 2.0) << r.out.substr(last);
}

TEST(WholeRun, BentBarGivesAValidRig)
{
    testrun::ScratchDir dir("bent");
    makeInputs("bent");
    testrun::RunResult r = testrun::run({"seq.txt", "rest.obj", "out.rig.txt"});
    expectGoodRig(r, 60, 2);
    EXPECT_EQ(testrun::readRig("out.rig.txt").numFrames, 10);
    // Console: the load lines, then repetition lines of the expected shape.
    EXPECT_EQ(r.out.rfind("Loading seq.txt... Done!\nLoading rest.obj... Done!\nInit - LBG-VQ:\n", 0), 0u);
    EXPECT_NE(r.out.find("Writing out.rig.txt... Done!\n"), std::string::npos);
    const std::regex rep(R"(    Rep #\d+/\d+: W\.+J?BP( \d+:\d+)+ \| (\d+ \(bones\) \| Ef=\d+\.\d\d\(%\)( Ej=\d+\.\d\d\(%\))?|\d+ bones remain))");
    std::istringstream lines(r.out);
    int reps = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("    Rep #", 0) == 0) {
            ++reps;
            EXPECT_TRUE(std::regex_match(line, rep)) << line;
        }
    EXPECT_GE(reps, 34);
}

#ifdef TOLVAN_MAKE_EXAMPLE
// The bundled creature is exact linear blend skinning of 11 bones: the run must
// find a rig that reproduces it closely, with a spanning skeleton.
TEST(WholeRun, GeneratedCreatureIsRecovered)
{
    testrun::ScratchDir dir("creature");
    ASSERT_EQ(std::system(TOLVAN_MAKE_EXAMPLE " . > /dev/null"), 0);
    expectGoodRig(testrun::run({"creature.anim.txt", "creature.rest.obj", "out.rig.txt"}), 1766, 6);
}
#endif

TEST(WholeRun, TooFewVerticesStopAfterTheFirstFit)
{
    testrun::ScratchDir dir("tiny");
    makeInputs("tiny");
    testrun::RunResult r = testrun::run({"seq.txt", "rest.obj", "out.rig.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Loading seq.txt... Done!\nLoading rest.obj... Done!\nInit - LBG-VQ:\n");
    EXPECT_NE(r.err.find("the mesh has 4 vertices; at least 6 are needed to fit a bone"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists("out.rig.txt"));
}

TEST(WholeRun, RefusedValuesStopBeforeAnythingIsRead)
{
    // One line on the error stream (usage and help are pinned by the expected outputs).
    const std::vector<std::vector<std::string>> refused = {{"-NNZ", "0"}, {"-OMEGA", "1e308"}, {"-OMEGA", "nan"}};
    for (const std::vector<std::string>& option : refused) {
        testrun::RunResult bad = testrun::run({option[0], option[1], "a", "b", "c"});
        EXPECT_EQ(bad.exitCode, 1);
        EXPECT_TRUE(bad.out.empty());
        EXPECT_EQ(bad.err.find("Tolvan: " + option[0] + " "), 0u) << bad.err;
        EXPECT_EQ(bad.err.find('\n'), bad.err.size() - 1) << bad.err;
    }
}

} // namespace
