#include <gtest/gtest.h>

#include <filesystem>

#include "rig_text.h"
#include "tool_test_support.h"

namespace {

using tooltest::ScratchDir;

RigData twoBoneRig()
{
    RigData rig;
    rig.numBones = 2;
    rig.numFrames = 2;
    rig.numVertices = 3;
    RigJoint joint;
    joint.a = 0;
    joint.b = 1;
    joint.position[0] = 0.5;
    joint.position[1] = 0.25;
    joint.position[2] = 1.0;
    rig.joints.push_back(joint);
    const double identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    const double turned[12] = {0, -1, 0, 1, 0, 0, 0, 0, 1, 0.1, -2.5, 1.0 / 3.0};
    for (int k = 0; k < 4; ++k)
        rig.transforms.insert(rig.transforms.end(), k == 3 ? turned : identity, (k == 3 ? turned : identity) + 12);
    rig.weights = {{{0, 0.75}, {1, 0.25}}, {{1, 1.0}}, {}};
    return rig;
}

TEST(RigText, WritesTheRigLayoutAndReadsItBackExactly)
{
    ScratchDir dir;
    RigData rig = twoBoneRig();
    std::string text = formatRig(rig, 6, "two bones");
    EXPECT_NE(text.find("\n# JOINTS: Num_of_Bones Num_of_Joints\n2 1\n0 1    0.5 0.25 1\n1 0    0.5 0.25 1\n#"), std::string::npos);
    EXPECT_NE(text.find("\n1\n0    1 0 0 0  0 1 0 0  0 0 1 0\n1    0 -1 0 0.1  1 0 0 -2.5  0 0 1 0.333333\n#"), std::string::npos);
    EXPECT_NE(text.find("\n3 2\n0    0 0.75  1 0.25\n1    1 1\n2  \n"), std::string::npos);
    EXPECT_EQ(text.substr(0, 79), std::string(78, '#') + "\n");

    tooltest::writeText(dir / "exact.rig.txt", formatRig(rig, 0, "exact"));
    RigData back;
    std::string error;
    ASSERT_TRUE(readRigFile(dir / "exact.rig.txt", back, error)) << error;
    EXPECT_EQ(back.numBones, 2);
    EXPECT_EQ(back.numFrames, 2);
    EXPECT_EQ(back.numVertices, 3);
    EXPECT_EQ(back.transforms, rig.transforms);
    ASSERT_EQ(back.joints.size(), 1u);
    EXPECT_EQ(back.joints[0].position[2], 1.0);
    ASSERT_EQ(back.weights.size(), 3u);
    EXPECT_EQ(back.weights[0][1].weight, 0.25);
    EXPECT_TRUE(back.weights[2].empty());

    double p[3] = {1.0, 2.0, 3.0}, q[3];
    skinPoint(back, 1, 0, p, q);
    EXPECT_DOUBLE_EQ(q[0], 0.75 * 1.0 + 0.25 * (-2.0 + 0.1));
    EXPECT_DOUBLE_EQ(q[1], 0.75 * 2.0 + 0.25 * (1.0 - 2.5));
}

TEST(RigText, ReadsRigsWrittenByTolvan)
{
    const std::string file = std::string(TOLVAN_SHARED_DIR) + "/golden/cases/cesium-default/expected/out.rig.txt";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "no expected outputs at " << file;
    RigData rig;
    std::string error;
    ASSERT_TRUE(readRigFile(file, rig, error)) << error;
    EXPECT_EQ(rig.numBones, 17);
    EXPECT_EQ(rig.joints.size(), 16u);
    EXPECT_EQ(rig.numFrames, 48);
    EXPECT_EQ(rig.numVertices, 2338);
}

TEST(RigText, DamagedFilesAreRefusedWithFileAndLine)
{
    ScratchDir dir;
    const std::string good = formatRig(twoBoneRig(), 6, "x");
    struct Damage {
        std::string from, to, message;
    };
    // Lines: 6 counts, 7-8 joints, 11 bone counts, 12 frame 0, 15 frame 1,
    // 16-17 its bones, 20 weight counts, 21-23 vertices.
    const Damage cases[] = {
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
    };
    for (const Damage& d : cases) {
        std::string text = good;
        std::size_t at = text.find(d.from);
        ASSERT_NE(at, std::string::npos) << d.from;
        text.replace(at, d.from.size(), d.to);
        tooltest::writeText(dir / "bad.rig.txt", text);
        RigData rig;
        std::string error;
        EXPECT_FALSE(readRigFile(dir / "bad.rig.txt", rig, error)) << d.to;
        EXPECT_NE(error.find(d.message), std::string::npos) << error;
        EXPECT_EQ(error.rfind(dir / "bad.rig.txt", 0), 0u) << error;
    }
    RigData rig;
    std::string error;
    EXPECT_FALSE(readRigFile(dir / "missing.rig.txt", rig, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

} // namespace
