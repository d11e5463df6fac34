#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "io/sequence_file.h"
#include "io_test_files.h"

namespace {

struct SequenceRead {
    bool ok = false;
    PointTable table;
    std::string error;
};

SequenceRead readText(const std::string& text)
{
    ScratchFolder folder;
    SequenceRead result;
    result.ok = readSequence(folder.file("seq.txt", text), result.table, result.error);
    return result;
}

} // namespace

TEST(SequenceFile, ReadsFramesOfVerticesInFileOrder)
{
    SequenceRead r = readText("2 2\n1 2 3\n4 5 6\n-7 8e1 .5\n+9 -0 1e-400\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.table.rows, 2);
    EXPECT_EQ(r.table.columns, 2);
    EXPECT_EQ(r.table.values, (std::vector<double>{1, 2, 3, 4, 5, 6, -7, 80, 0.5, 9, 0, 0}));
    EXPECT_TRUE(r.error.empty());
}

TEST(SequenceFile, LayoutIsFreeAndTheEndIsFlexible)
{
    // Any white space between the numbers, one vertex at the origin.
    SequenceRead r = readText("1 1 0 0 0\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.table.values, (std::vector<double>{0, 0, 0}));
    r = readText("1\r\n\t2\v\f1 2 3 4 5 6");
    ASSERT_TRUE(r.ok) << r.error; // the last coordinate may end the file
    EXPECT_EQ(r.table.values.back(), 6.0);
    r = readText("1 1 1 2 3 4 5 6 garbage\n"); // anything after the last coordinate is not read
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.table.values, (std::vector<double>{1, 2, 3}));
    r = readText("1 2 1.5-2 3 4 5 6\n"); // a number ends where its grammar ends
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.table.values, (std::vector<double>{1.5, -2, 3, 4, 5, 6}));
}

TEST(SequenceFile, RefusesBadCountsBeforeAllocating)
{
    struct Case {
        const char* text;
        const char* reason;
    } cases[] = {
        {"", "ends before the frame count"},
        {"   \n\n", "ends before the frame count"},
        {"2", "ends before the vertex count"},
        {"0 5\n", "line 1: the frame count is 0"},
        {"3 0\n", "the vertex count is 0"},
        {"-1 3\n0 0 0\n", "the frame count is -1"},
        {"1 -3\n", "the vertex count is -3"},
        {"x 3\n", "expected a number, found \"x\""},
        {"1.5 3\n", "the vertex count: expected a number, found \".5\""},
        {"99999999999 1\n", "\"99999999999\" is out of range"},
        {"1000000000 1000000000\n1 2 3", "the header announces 1000000000 frames of 1000000000 vertices"},
        {"2 2\n1 2 3 4 5 6\n", "more than the remaining 13 bytes can hold"},
    };
    for (const Case& c : cases) {
        SequenceRead r = readText(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.text << " -> " << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos);
        EXPECT_TRUE(r.table.values.empty());
    }
}

TEST(SequenceFile, RefusesBadCoordinatesNamingThePlace)
{
    struct Case {
        const char* text;
        const char* reason;
    } cases[] = {
        {"1 1 0 0\n", "ends before frame 0, vertex 0, z coordinate"},
        {"1 2 1 2 3\n4 5 6", "ok"},
        {"2 2\n1 2 3 4 5 6 7 8 9 10 11\n", "ends before frame 1, vertex 1, z coordinate"},
        {"2 1\n1 2 3\n4 abc 6\n\n", "line 3: frame 1, vertex 0, y coordinate: expected a number, found \"abc\""},
        {"1 1\n1 2 1e\n", "expected a number, found \"1e\""},
        {"1 1\n1 2 inf\n", "found \"inf\""},
        {"1 1\n1 2 nan\n", "found \"nan\""},
        {"1 1\n1 1e999 2\n", "line 2: frame 0, vertex 0, y coordinate: \"1e999\" is out of range"},
        {"1 1\n1 2 3\n", "ok"},
        {"1 2\n1 2 3 4 5 0x10\n", "ok"}, // reads 0, then stops before "x10"
    };
    for (const Case& c : cases) {
        SequenceRead r = readText(c.text);
        if (std::string(c.reason) == "ok") {
            EXPECT_TRUE(r.ok) << c.text << " -> " << r.error;
            continue;
        }
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.text << " -> " << r.error;
    }
}

TEST(SequenceFile, MissingFileAndFolderAreReported)
{
    ScratchFolder folder;
    PointTable table;
    std::string error;
    EXPECT_FALSE(readSequence(folder.at("nothere.txt"), table, error));
    EXPECT_NE(error.find("nothere.txt: cannot open"), std::string::npos);
    EXPECT_FALSE(readSequence(folder.path, table, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}

TEST(SequenceFile, LargeFileMatchesStreamExtraction)
{
    // Numbers of every length straddle the reader's buffer boundaries; one
    // very long number forces the buffer to grow.
    std::mt19937 random(3);
    const int frames = 7;
    const int vertices = 20000;
    std::ostringstream text;
    text << frames << " " << vertices << "\n";
    for (int i = 0; i < frames * vertices * 3; ++i) {
        if (i == 1000)
            text << "0." << std::string(3000000, '0') << "17e3000000 ";
        double x = std::ldexp(double(random()) - 2147483648.0, int(random() % 60) - 40);
        text.precision(1 + random() % 17);
        text << x << ((random() % 5 == 0) ? "\n" : (random() % 2 ? " " : "\t "));
    }
    std::istringstream check(text.str());
    int nF, nV;
    check >> nF >> nV;
    std::vector<double> expected(std::size_t(frames) * vertices * 3);
    for (double& x : expected)
        check >> x;
    ASSERT_FALSE(check.fail());

    SequenceRead r = readText(text.str());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(expected[1000], 0.17);
    EXPECT_TRUE(r.table.values == expected);
}
