#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "io/io_test_files.h"
#include "support/quiet_regex.h"
#include "report/report_data.h"

namespace {

// Three vertices (a 3-4-5 triangle, box diagonal 5) on one bone that moves
// by (f, 0, 0) in frame f.
struct SmallRig {
    ObjMesh rest{{0, 0, 0, 3, 0, 0, 0, 4, 0}, {0, 1, 2}};
    RigData rig;
    std::vector<double> input; // the rig's own skinning, frame-major
    explicit SmallRig(int frames)
    {
        rig.numBones = 1, rig.numFrames = frames, rig.numVertices = 3;
        rig.weights.assign(3, {RigInfluence{0, 1.0}});
        for (int f = 0; f < frames; ++f) {
            rig.transforms.insert(rig.transforms.end(), {1, 0, 0, 0, 1, 0, 0, 0, 1, double(f), 0, 0});
            for (int v = 0; v < 3; ++v)
                input.insert(input.end(), {rest.positions[3 * v] + f, rest.positions[3 * v + 1], 0.0});
        }
    }
};

TEST(ReportData, KeepsEveryKthFrameSoThatAtMostMaxFramesRemain)
{
    const struct { int frames, maxFrames, step, kept; } cases[] = {
        {30, 0, 1, 30}, {30, 30, 1, 30}, {30, 29, 2, 15}, {30, 7, 5, 6}, {30, 1, 30, 1}, {1, 5, 1, 1},
    };
    for (const auto& c : cases) {
        SmallRig small(c.frames);
        ReportData data;
        std::string error;
        ASSERT_TRUE(buildReportData(small.rest, small.rig, &small.input, c.frames, c.maxFrames, data, error)) << error;
        EXPECT_EQ(data.frameStep, c.step) << c.frames << " " << c.maxFrames;
        EXPECT_EQ(data.frameCount, c.kept);
        ASSERT_EQ(data.transforms.size(), std::size_t(c.kept) * 12);
        ASSERT_EQ(data.frames.size(), std::size_t(c.kept) * 9);
        const int k = c.kept - 1; // the last kept frame is source frame k * step
        EXPECT_EQ(data.transforms[std::size_t(k) * 12 + 9], float(k * c.step));
        EXPECT_EQ(data.frames[std::size_t(k) * 9 + 3], float(3 + k * c.step));
        ReportErrors errors;
        computeReportErrors(data, errors);
        EXPECT_EQ(errors.rmsPercent, 0.0);
    }
}

TEST(ReportData, RefusesInputsThatDoNotFitTogether)
{
    const struct { const char* what; void (*spoil)(SmallRig&, int&); const char* message; } cases[] = {
        {"vertex count", [](SmallRig& s, int&) { s.rest.positions.insert(s.rest.positions.end(), {1, 1, 1}); },
         "the rest mesh has 4 vertices, the rig 3"},
        {"no triangle", [](SmallRig& s, int&) { s.rest.triangles.clear(); }, "no triangle"},
        {"no frame", [](SmallRig& s, int&) { s.rig.numFrames = 0; s.rig.transforms.clear(); }, "the rig has no frame"},
        {"input frames", [](SmallRig&, int& frames) { frames = 3; }, "the input has 3 frames, the rig 2"},
        {"input size", [](SmallRig& s, int&) { s.input.resize(12); }, "does not have 3 vertices per frame"},
        {"float range", [](SmallRig& s, int&) { s.rig.transforms[10] = 1e39; }, "too large for a 32-bit float"},
    };
    for (const auto& c : cases) {
        SmallRig small(2);
        int frames = 2;
        c.spoil(small, frames);
        ReportData data;
        std::string error;
        EXPECT_FALSE(buildReportData(small.rest, small.rig, &small.input, frames, 0, data, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
}

TEST(ReportErrors, MeasuresDistancesAgainstTheBoxDiagonal)
{
    SmallRig small(3);
    small.input[(2 * 3 + 2) * 3 + 2] += 0.5; // vertex 2 in frame 2 lifted by a tenth of the diagonal
    small.input[(1 * 3 + 1) * 3 + 0] -= 0.3;
    small.input[(0 * 3 + 0) * 3 + 1] += 0.4;
    ReportData data;
    std::string error;
    ASSERT_TRUE(buildReportData(small.rest, small.rig, &small.input, 3, 0, data, error)) << error;
    ReportErrors errors;
    computeReportErrors(data, errors);
    EXPECT_DOUBLE_EQ(errors.diagonal, 5.0);
    EXPECT_NEAR(errors.rmsPercent, std::sqrt((0.25 + 0.09 + 0.16) / 9.0) / 5.0 * 100, 1e-5);
    EXPECT_NEAR(errors.largestPercent, 10.0, 1e-5);
    EXPECT_EQ(errors.largestVertex, 2);
    EXPECT_EQ(errors.largestFrame, 2);
    // Frames 0 and 2 kept: the largest keeps its source frame number.
    ASSERT_TRUE(buildReportData(small.rest, small.rig, &small.input, 3, 2, data, error)) << error;
    computeReportErrors(data, errors);
    EXPECT_NEAR(errors.rmsPercent, std::sqrt((0.25 + 0.16) / 6.0) / 5.0 * 100, 1e-5);
    EXPECT_EQ(errors.largestFrame, 2);
}

#if defined(TOLVAN_CONVERT) && defined(TOLVAN_EXECUTABLE)

const std::string report = quote(TOLVAN_CONVERT) + " report ";

TEST(ReportCommand, PrintsTolvansFitErrorForTheRigTolvanWrote)
{
    ScratchFolder dir;
    ASSERT_EQ(runCommand(dir, quote(TOLVAN_MAKE_EXAMPLE) + " ex").exitCode, 0);
    CommandResult rigging = runCommand(dir, quote(TOLVAN_EXECUTABLE) + " ex/creature.anim.txt ex/creature.rest.obj rig.txt");
    ASSERT_EQ(rigging.exitCode, 0) << rigging.err;
    const std::regex ef("Ef=([0-9.]+)\\(%\\)");
    std::string last;
    for (std::sregex_iterator i(rigging.out.begin(), rigging.out.end(), ef), end; i != end; ++i)
        last = (*i)[1];
    CommandResult written = runCommand(dir, report + "ex/creature.rest.obj rig.txt out.html --anim ex/creature.anim.txt");
    ASSERT_EQ(written.exitCode, 0) << written.err;
    EXPECT_NE(written.out.find("(Tolvan's Ef: " + last + ")"), std::string::npos) << last << "\n" << written.out;
    const std::string page = readWholeFile(dir.at("out.html"));
    EXPECT_EQ(page.find("/*TOLVAN:"), std::string::npos);
    EXPECT_NE(page.find("\"frames\":\""), std::string::npos);
}

TEST(ReportCommand, RefusesBadArgumentsAndKeepsFileNamesInsideTheDataBlock)
{
    ScratchFolder dir;
    ASSERT_EQ(runCommand(dir, quote(TOLVAN_MAKE_EXAMPLE) + " ex").exitCode, 0);
    ASSERT_EQ(runCommand(dir, quote(TOLVAN_MAKE_EXAMPLE) + " --frames 20 short").exitCode, 0);
    const std::string inputs = "ex/creature.rest.obj ex/creature.truth.rig.txt out.html ";
    const struct { std::string args, message; bool usage; } cases[] = {
        {inputs + "--colour red", "unknown option --colour", true},
        {inputs + "--anim short/creature.anim.txt", "the input has 20 frames, the rig 30", false},
        {inputs + "--anim none.anim.txt", "none.anim.txt", false},
        {"ex/creature.rest.obj ex/creature.anim.txt out.html", "ex/creature.anim.txt:", false},
        {"ex/creature.rest.obj ex/creature.truth.rig.txt nowhere/out.html", "nowhere/out.html", false},
    };
    for (const auto& c : cases) {
        CommandResult r = runCommand(dir, report + c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(r.err.find("Usage:") != std::string::npos, c.usage) << c.args; // only for mistakes in the arguments
        EXPECT_FALSE(std::filesystem::exists(dir.at("out.html"))) << c.args;
    }
    // "<!--<script>" in a file name would keep the data block's end tag from closing it.
    std::filesystem::copy_file(dir.at("ex/creature.rest.obj"), dir.at("a<!--<script>.rest.obj"));
    CommandResult r = runCommand(dir, report + quote("a<!--<script>.rest.obj") + " ex/creature.truth.rig.txt out.html");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string page = readWholeFile(dir.at("out.html"));
    for (const char* tag : {"<script", "</script", "<!--"}) {
        std::size_t count = 0;
        for (std::size_t at = page.find(tag); at != std::string::npos; at = page.find(tag, at + 1))
            ++count;
        EXPECT_EQ(count, std::string(tag) == "<!--" ? 0u : 2u) << tag; // the data block's and the script's own
    }
    EXPECT_NE(page.find("a\\u003c!--\\u003cscript>"), std::string::npos);
}

#endif

} // namespace
