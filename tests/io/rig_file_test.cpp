#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>

#include "io/rig_file.h"
#include "io_test_files.h"

namespace {

const std::string kRule(78, '#');

Bone makeBone(const Matrix& rotation, const Vector& translation, int frames)
{
    Bone bone;
    for (int f = 0; f < frames; ++f) {
        bone.rotations.push_back(rotation);
        bone.translations.push_back(translation);
    }
    return bone;
}

Matrix identity3()
{
    Matrix m = zeroMatrix3();
    m[0][0] = m[1][1] = m[2][2] = 1.0;
    return m;
}

// Two linked bones over two frames and three vertices.
RiggingContext twoBoneRig()
{
    RiggingContext c;
    c.numBones = 2;
    c.numFrames = 2;
    c.numVertices = 3;
    c.skeleton.reset(2);
    c.skeleton.addJoint(0, 1);
    resizePointTable(c.jointTable, 2, 2);
    c.jointTable.set(0, 1, makeVector3(0.5, -1.0 / 3.0, 1e-20));
    c.jointTable.set(1, 0, makeVector3(0.5, -1.0 / 3.0, 1e-20));
    c.bones.push_back(makeBone(identity3(), makeVector3(0, 0, 0), 2));
    Matrix turn = zeroMatrix3();
    turn[0][1] = -1.0;
    turn[1][0] = 1.0;
    turn[2][2] = 1.0;
    c.bones.push_back(makeBone(turn, makeVector3(1e-5, 123456.5, -0.0), 2));
    c.bones[1].translations[1] = makeVector3(2.5, 1234567.0, 0.1);
    resizeMatrix(c.weights, 3, 2);
    c.weights[0][0] = 1.0;
    c.weights[1][0] = 0.75;
    c.weights[1][1] = 0.25;
    return c;
}

std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const std::string& fileName)
{
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

TEST(RigFile, WritesEverySectionInItsLayout)
{
    ScratchFolder folder;
    std::string error;
    ASSERT_TRUE(writeRig(twoBoneRig(), folder.at("out.rig.txt"), error)) << error;
    std::string expected = kRule + "\n# Tolvan\n# Skeletal rig: joints, bone transformations, skinning weights\n" +
                           kRule + "\n# JOINTS: Num_of_Bones Num_of_Joints\n2 1\n"
                           "0 1    0.5 -0.333333 1e-20\n"
                           "1 0    0.5 -0.333333 1e-20\n" +
                           kRule + "\n# BONES: Num_of_Frames Num_of_Bones\n2 2\n"
                           "0\n"
                           "0    1 0 0 0  0 1 0 0  0 0 1 0\n"
                           "1    0 -1 0 1e-05  1 0 0 123456  0 0 1 -0\n"
                           "1\n"
                           "0    1 0 0 0  0 1 0 0  0 0 1 0\n"
                           "1    0 -1 0 2.5  1 0 0 1.23457e+06  0 0 1 0.1\n" +
                           kRule + "\n# WEIGHTS: Num_of_Vertices Num_of_Bones\n3 2\n"
                           "0    0 1\n"
                           "1    0 0.75  1 0.25\n"
                           "2  \n";
    EXPECT_EQ(readWholeFile(folder.at("out.rig.txt")), expected);
}

TEST(RigFile, UnlinkedBonesHaveNoJointRowsAndTinyWeightsAreKept)
{
    RiggingContext c;
    c.numBones = 6;
    c.numFrames = 0;
    c.numVertices = 1;
    c.skeleton.reset(6);
    resizeMatrix(c.weights, 1, 6);
    c.weights[0][2] = 0.75;
    c.weights[0][3] = 1e-20;
    c.weights[0][5] = 0.25;
    ScratchFolder folder;
    std::string error;
    ASSERT_TRUE(writeRig(c, folder.at("a.rig.txt"), error));
    std::string text = readWholeFile(folder.at("a.rig.txt"));
    EXPECT_NE(text.find("Num_of_Joints\n6 0\n" + kRule), std::string::npos);
    EXPECT_NE(text.find("\n1 6\n0    2 0.75  3 1e-20  5 0.25\n"), std::string::npos);
}

TEST(RigFile, ReplacesAnExistingFileAndKeepsItsMode)
{
    ScratchFolder folder;
    std::string target = folder.file("out.rig.txt", "an older rig\n");
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    std::string error;
    ASSERT_TRUE(writeRig(twoBoneRig(), target, error));
    EXPECT_EQ(readWholeFile(target).substr(0, 79), kRule + "\n");
    EXPECT_EQ(modeOf(target), mode_t(0604));
    EXPECT_EQ(folderEntries(folder.path), (std::vector<std::string>{"out.rig.txt"}));

    // A new file gets the mode a plain create gives, not that of a temporary file.
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
    EXPECT_NE(error.find("missing/out.rig.txt"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

    // The target is a folder: the rename fails and nothing is left behind.
    std::filesystem::create_directory(folder.at("taken.rig.txt"));
    EXPECT_FALSE(writeRig(twoBoneRig(), folder.at("taken.rig.txt"), error));
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_directory(folder.at("taken.rig.txt")));

    // A write that fails half way (the file size limit stands in for a full disk).
    std::string target = folder.file("out.rig.txt", "an older rig\n");
    RiggingContext big = twoBoneRig();
    big.numVertices = 50000;
    resizeMatrix(big.weights, 50000, 2);
    for (int v = 0; v < 50000; ++v)
        big.weights[v][0] = 0.123456789;
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = writeRig(big, target, error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_EQ(readWholeFile(target), "an older rig\n");

    // Containers smaller than the counts raise before the target is touched.
    RiggingContext broken = twoBoneRig();
    broken.numVertices = 4;
    EXPECT_THROW(writeRig(broken, target, error), std::out_of_range);
    EXPECT_EQ(readWholeFile(target), "an older rig\n");
    EXPECT_EQ(folderEntries(folder.path), (std::vector<std::string>{"out.rig.txt", "taken.rig.txt"}));
}
