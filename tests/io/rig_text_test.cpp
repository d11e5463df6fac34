#include <gtest/gtest.h>

#include "io/io_test_files.h"
#include "io/rig_text.h"

namespace {

// Two linked bones over two frames; vertex 2 has no weight.
RigData twoBoneRig()
{
    RigData rig;
    rig.numBones = rig.numFrames = 2;
    rig.numVertices = 3;
    rig.joints = {RigJoint{0, 1, {0.5, 0.25, 1.0}}};
    const double identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    const double turned[12] = {0, -1, 0, 1, 0, 0, 0, 0, 1, 0.1, -2.5, 1.0 / 3.0};
    for (int k = 0; k < 4; ++k)
        rig.transforms.insert(rig.transforms.end(), k == 3 ? turned : identity, (k == 3 ? turned : identity) + 12);
    rig.weights = {{{0, 0.75}, {1, 0.25}}, {{1, 1.0}}, {}};
    return rig;
}

TEST(RigText, ReadsBackExactlyWhatItWrites)
{
    ScratchFolder dir;
    const RigData rig = twoBoneRig();
    RigData back;
    std::string error;
    ASSERT_TRUE(readRigFile(dir.file("exact.rig.txt", formatRig(rig, 0, "exact")), back, error)) << error;
    EXPECT_TRUE(back.numBones == 2 && back.numFrames == 2 && back.numVertices == 3);
    EXPECT_EQ(back.transforms, rig.transforms);
    ASSERT_TRUE(back.joints.size() == 1u && back.weights.size() == 3u);
    EXPECT_EQ(back.joints[0].position[1], 0.25);
    EXPECT_EQ(back.weights[0][1].weight, 0.25);
    EXPECT_TRUE(back.weights[2].empty());
}

TEST(RigText, DamagedFilesAreRefusedWithFileAndLine)
{
    ScratchFolder dir;
    const std::string good = formatRig(twoBoneRig(), 6, "x");
    // Lines: 6 counts, 7-8 joints, 11 bone counts, 12 frame 0, 15 frame 1,
    // 16-17 its bones, 20 weight counts, 21-23 vertices.
    const std::string cases[][3] = {
        {"0 1    0.5", "0 1    nan", ":7: expected a joint row"},
        {"0 1    0.5 0.25 1\n", "0 5    0.5 0.25 1\n", ":7: joint links invalid bones"},
        {"2 1\n", "2 2\n", ":6: the joint count is 2 but 1 joints are listed"},
        {"\n1\n0    1", "\n7\n0    1", ":15: expected the frame number 1"},
        {"0 0 1 0.333333", "0 0 1 inf", ":17: invalid number 'inf'"},
        {"2 2\n", "2 3\n", ":11: the bone count differs"},
        {"0    0 0.75", "0    0 -0.75", ":21: invalid weight '-0.75'"},
        {"1    1 1", "1    1 1  0 0.5", ":22: bones must be listed in increasing order"},
        {"1    1 1", "1    4 1", ":22: invalid bone '4'"},
        {"2  \n", "", ":20: expected 3 vertex rows"},
        {"# WEIGHTS", "# WEIGHT", "no # WEIGHTS section"},
        {good, "", "cannot open " + dir.at("missing.rig.txt")},
    };
    for (const auto& [from, to, message] : cases) {
        std::string text = good, error;
        ASSERT_NE(text.find(from), std::string::npos) << from;
        const bool missing = from == good;
        const std::string name = missing ? dir.at("missing.rig.txt") : dir.file("bad.rig.txt", text.replace(text.find(from), from.size(), to));
        RigData rig;
        EXPECT_FALSE(readRigFile(name, rig, error)) << to;
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_TRUE(missing || error.rfind(name, 0) == 0) << error;
    }
}

} // namespace
