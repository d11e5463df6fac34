#include <gtest/gtest.h>

#include "io/rest_pose_file.h"
#include "io_test_files.h"

namespace {

struct RestPoseRead {
    bool ok = false;
    Matrix restPose;
    Triangles triangles;
    std::string error;
};

RestPoseRead readText(const std::string& text)
{
    ScratchFolder folder;
    RestPoseRead result;
    result.ok = readRestPose(folder.file("rest.obj", text), result.restPose, result.triangles, result.error);
    return result;
}

} // namespace

TEST(RestPoseFile, ReadsVerticesAndZeroBasedFacesInAnyOrder)
{
    RestPoseRead r = readText("f 1 2 3\nv 0 0 0\nv 1 0 0\n\n  v 0 +1 -0.5\tf 3 2 1\n");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.restPose.size(), 3u);
    EXPECT_EQ(r.restPose[2][1], 1.0);
    EXPECT_EQ(r.restPose[2][2], -0.5);
    ASSERT_EQ(r.triangles.size(), 2u);
    EXPECT_EQ(r.triangles[0], (std::array<int, 3>{0, 1, 2}));
    EXPECT_EQ(r.triangles[1], (std::array<int, 3>{2, 1, 0}));

    r = readText("v 1 2 3\nv 4 5 6"); // vertices only, last value at the end of the file
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.restPose.size(), 2u);
    EXPECT_EQ(r.restPose[1][2], 6.0);
    EXPECT_TRUE(r.triangles.empty());

    r = readText("v 1 2 3\nv 4 5 6\nv 7 8 9\nf 1 2 3"); // a face at the end of the file
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.triangles.size(), 1u);

    for (const char* empty : {"", " \n\r\n\t"}) {
        r = readText(empty);
        EXPECT_TRUE(r.ok);
        EXPECT_TRUE(r.restPose.empty() && r.triangles.empty());
    }
}

TEST(RestPoseFile, RefusesWhatIsNotAVertexOrFaceRecord)
{
    const char* triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    struct Case {
        std::string text;
        const char* reason;
    } cases[] = {
        {"# a comment\nv 0 0 0\n", "line 1: unexpected \"#\" where a record starts"},
        {std::string(triangle) + "vn 0 0 1\n", "line 4: unexpected \"vn\""},
        {std::string(triangle) + "vt 0 0\n", "unexpected \"vt\""},
        {std::string(triangle) + "V 0 0 1\n", "unexpected \"V\""},
        {std::string(triangle) + "f 1 2 3 4\n", "line 4: unexpected \"4\""},
        {std::string(triangle) + "g body\n", "unexpected \"g\""},
        {std::string(triangle) + "v1 2 3\n", "unexpected \"v1\""},
        {std::string(triangle) + "f 1/1/1 2/2/2 3/3/3\n", "line 4: face record: expected a vertex number, found \"/1/1\""},
        {std::string(triangle) + "f 1//1 2//2 3//3\n", "found \"//1\""},
        {std::string(triangle) + "f 1 2 x\n", "expected a vertex number, found \"x\""},
        {std::string(triangle) + "f 1 2 99999999999\n", "\"99999999999\" is out of range"},
        {"v 1 two 3\n", "line 1: vertex record: expected a number, found \"two\""},
        {"v 1 2 1e999\n", "\"1e999\" is out of range"},
        {"v 1 2 nan\n", "found \"nan\""},
        {"v 1 2\n", "the file ends inside a vertex record"},
        {std::string(triangle) + "f 1 2", "the file ends inside a face record"},
        {std::string(triangle) + "v", "the file ends inside a vertex record"},
        {std::string(triangle) + "f 0 1 2\n", "line 4: face 1 uses vertex 0; vertices are numbered from 1"},
        {std::string(triangle) + "f 1 -2 3\n", "face 1 uses vertex -2"},
        {std::string(triangle) + "f 1 2 3\nf 2 3 4\n", "rest.obj: face 2 uses vertex 4, but the file has 3 vertices"},
        {"f 1 2 3\n", "face 1 uses vertex 1, but the file has 0 vertices"},
        {std::string("v 0 0 0\n\x01\0\xfe junk", 16), "line 2: unexpected \"\\x01\\x00\\xfe\""},
    };
    for (const Case& c : cases) {
        RestPoseRead r = readText(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.text << " -> " << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos);
    }
}

TEST(RestPoseFile, MissingFileIsReported)
{
    ScratchFolder folder;
    Matrix restPose;
    Triangles triangles;
    std::string error;
    EXPECT_FALSE(readRestPose(folder.at("nothere.obj"), restPose, triangles, error));
    EXPECT_NE(error.find("nothere.obj: cannot open: No such file or directory"), std::string::npos);
    EXPECT_TRUE(restPose.empty());
}
