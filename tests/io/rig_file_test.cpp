#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/atomic_file.h"
#include "io/rig_file.h"
#include "io/rig_text.h"
#include "io_test_files.h"
#include "run/command_line.h"
#include "run/program_flow.h"
#include "support/two_bone_rig.h"

namespace {

const std::string kRule(78, '#');

std::size_t entryCount(const std::string& folder)
{
    auto entries = std::filesystem::directory_iterator(folder);
    return std::size_t(std::distance(begin(entries), end(entries)));
}

mode_t modeOf(const std::string& fileName)
{
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

// Joints twice, %g reals (1e-20, 1.23457e+06, -0), weights of 0 left out; the
// target is replaced with the mode a plain create gives, and a link planted
// where a predictable temporary name would be (a folder shared with other
// users) is not followed.
TEST(RigFile, WritesEverySectionAndReplacesTheTarget)
{
    ScratchFolder folder;
    std::string error, target = folder.file("out.rig.txt", "an older rig\n");
    const std::string victim = folder.file("victim", "keep\n");
    ASSERT_EQ(::symlink(victim.c_str(), (target + ".tmp" + std::to_string(::getpid())).c_str()), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    ASSERT_TRUE(writeRig(twoBoneRig(), target, error)) << error;
    EXPECT_EQ(readWholeFile(victim), "keep\n");
    EXPECT_EQ(readWholeFile(target),
              kRule + "\n# Tolvan\n# Skeletal rig: joints, bone transformations, skinning weights\n" + kRule +
                  "\n# JOINTS: Num_of_Bones Num_of_Joints\n2 1\n"
                  "0 1    0.5 -0.333333 1e-20\n1 0    0.5 -0.333333 1e-20\n" +
                  kRule + "\n# BONES: Num_of_Frames Num_of_Bones\n2 2\n0\n"
                  "0    1 0 0 0  0 1 0 0  0 0 1 0\n1    0 -1 0 1e-05  1 0 0 123456  0 0 1 -0\n1\n"
                  "0    1 0 0 0  0 1 0 0  0 0 1 0\n1    0 -1 0 2.5  1 0 0 1.23457e+06  0 0 1 0.1\n" +
                  kRule + "\n# WEIGHTS: Num_of_Vertices Num_of_Bones\n3 2\n0    0 1\n1    0 0.75  1 0.25\n2  \n");
    EXPECT_EQ(modeOf(target), mode_t(0604));
    EXPECT_EQ(entryCount(folder.path), 3u);
    mode_t old = ::umask(027);
    bool written = writeRig(twoBoneRig(), folder.at("new.rig.txt"), error);
    ::umask(old);
    ASSERT_TRUE(written);
    EXPECT_EQ(modeOf(folder.at("new.rig.txt")), mode_t(0640));
}

TEST(RigFile, FailureLeavesTheTargetAsItWas)
{
    ScratchFolder folder;
    std::string error;
    EXPECT_FALSE(writeRig(twoBoneRig(), folder.at("missing/out.rig.txt"), error));
    EXPECT_NE(error.find("missing/out.rig.txt: No such file or directory"), std::string::npos) << error;
    std::filesystem::create_directory(folder.at("taken.rig.txt"));
    EXPECT_FALSE(writeRig(twoBoneRig(), folder.at("taken.rig.txt"), error));
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;

    // A write that fails half way: the file size limit stands in for a full disk.
    std::string target = folder.file("out.rig.txt", "an older rig\n");
    RiggingContext big = twoBoneRig();
    big.numVertices = 50000;
    big.weights = Matrix(50000, Vector{0.123456789, 0.0});
    struct rlimit saved, small;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    small = saved;
    small.rlim_cur = 4096;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = writeRig(big, target, error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;

    // Containers smaller than the counts raise; a batch of files whose second
    // cannot be staged is dropped. The target is untouched.
    big.numVertices = 50001;
    EXPECT_THROW(writeRig(big, target, error), std::out_of_range);
    std::vector<StagedFile> staged(2);
    ASSERT_TRUE(stageFile(target, "new", staged[0], error)) << error;
    EXPECT_FALSE(stageFile(folder.at("missing/b.txt"), "b", staged[1], error));
    discardStagedFiles(staged);
    EXPECT_EQ(readWholeFile(target), "an older rig\n");
    EXPECT_EQ(entryCount(folder.path), 2u); // no temporary file is left behind
}

// The loading lines and a good write are covered end to end by the bad-input
// corpus and the whole-run tests.
// A rig that cannot be written: "Error!" at every debug level, the reason on err.
TEST(LoadAndWriteSteps, AFailedWriteSaysErrorEvenWhenQuiet)
{
    ScratchFolder folder;
    RiggingContext context;
    std::ostringstream console, err;
    context.console = &console;
    context.debugLevel = 0;
    outputFile = folder.at("no/such/folder/out.rig.txt");
    EXPECT_FALSE(writeOutput(context, err));
    EXPECT_EQ(console.str(), "Error!\n");
    EXPECT_EQ(err.str().rfind("Tolvan: cannot create a temporary file for " + outputFile, 0), 0u) << err.str();
    EXPECT_EQ(err.str().find('\n'), err.str().size() - 1);
}

// The reader takes what the writer writes (with exact digits, bit for bit)
// and refuses damaged files with the file and the line.
TEST(RigText, ReadsWhatTheWriterWritesAndRefusesDamage)
{
    ScratchFolder dir;
    std::string error;
    const std::string goodName = dir.at("good.rig.txt");
    ASSERT_TRUE(writeRig(twoBoneRig(), goodName, error)) << error;
    RigData rig, back;
    ASSERT_TRUE(readRigFile(goodName, rig, error)) << error;
    rig.transforms[0] = 0.1 + 0.2;
    ASSERT_TRUE(readRigFile(dir.file("exact.rig.txt", formatRig(rig, 0, "exact")), back, error)) << error;
    EXPECT_EQ(back.transforms, rig.transforms);
    EXPECT_TRUE(back.joints.size() == 1u && back.joints[0].position[1] == -0.333333);
    EXPECT_TRUE(back.weights.size() == 3u && back.weights[1][1].weight == 0.25 && back.weights[2].empty());

    const std::string good = readWholeFile(goodName);
    // Lines: 6 counts, 7-8 joints, 11 bone counts, 12 frame 0, 15 frame 1,
    // 16-17 its bones, 20 weight counts, 21-23 vertices.
    const std::string cases[][3] = {
        {"0 1    0.5", "0 1    nan", ":7: expected a joint row"},
        {"0 1    0.5", "0 5    0.5", ":7: joint links invalid bones"},
        {"2 1\n", "2 2\n", ":6: the joint count is 2 but 1 joints are listed"},
        {"\n1\n0    1", "\n7\n0    1", ":15: expected the frame number 1"},
        {"0 0 1 0.1", "0 0 1 inf", ":17: invalid number 'inf'"},
        {"2 2\n", "2 3\n", ":11: the bone count differs"},
        {"0    0 1\n", "0    0 -1\n", ":21: invalid weight '-1'"},
        {"0.75  1 0.25", "0.75  1 0.25  0 0.5", ":22: bones must be listed in increasing order"},
        {"0.75  1 0.25", "0.75  4 0.25", ":22: invalid bone '4'"},
        {"2  \n", "", ":20: expected 3 vertex rows"},
        {"# WEIGHTS", "# WEIGHT", "no # WEIGHTS section"},
        {good, "", "cannot open " + dir.at("missing.rig.txt")},
    };
    for (const auto& [from, to, message] : cases) {
        std::string text = good;
        ASSERT_NE(text.find(from), std::string::npos) << from;
        const bool missing = from == good;
        const std::string name = missing ? dir.at("missing.rig.txt") : dir.file("bad.rig.txt", text.replace(text.find(from), from.size(), to));
        EXPECT_FALSE(readRigFile(name, rig, error)) << to;
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_TRUE(missing || error.rfind(name, 0) == 0) << error;
    }
}
