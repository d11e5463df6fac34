#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "io/sequence_file.h"
#include "io_test_files.h"

namespace {

bool readText(const std::string& text, PointTable& table)
{
    ScratchFolder folder;
    std::string error;
    bool ok = readSequence(folder.file("seq.txt", text), table, error);
    EXPECT_EQ(ok, error.empty()) << error;
    return ok;
}

} // namespace

// Malformed sequences are covered end to end by the bad-input corpus.
TEST(SequenceFile, ReadsFramesOfVerticesWhateverTheLayout)
{
    PointTable t;
    ASSERT_TRUE(readText("2 2\n1 2 3\n4 5 6\n-7 8e1 .5\n+9 -0 1e-400\n", t));
    EXPECT_TRUE(t.rows == 2 && t.columns == 2);
    EXPECT_EQ(t.values, (std::vector<double>{1, 2, 3, 4, 5, 6, -7, 80, 0.5, 9, 0, 0}));
    ASSERT_TRUE(readText("1\r\n\t2\v\f1 2 3 4 5 6", t)); // the last coordinate may end the file
    EXPECT_EQ(t.values.back(), 6.0);
    ASSERT_TRUE(readText("1 2 1.5-2 3 4 5 0x10\n", t)); // numbers end where their grammar ends
    EXPECT_EQ(t.values, (std::vector<double>{1.5, -2, 3, 4, 5, 0}));
    ASSERT_FALSE(readText("1 1 1 2 x\n", t));
    EXPECT_TRUE(t.values.empty() && t.rows == 0);
}

TEST(SequenceFile, LargeFileMatchesStreamExtraction)
{
    // Numbers of every length straddle the reader's buffer boundaries; one
    // three-million-digit number makes the buffer grow.
    std::mt19937 random(3);
    const int frames = 7, vertices = 20000;
    std::ostringstream text;
    text << frames << " " << vertices << "\n";
    for (int i = 0; i < frames * vertices * 3; ++i) {
        if (i == 1000)
            text << "0." << std::string(3000000, '0') << "17e3000000 ";
        text.precision(1 + random() % 17);
        text << std::ldexp(double(random()) - 2147483648.0, int(random() % 60) - 40)
             << (random() % 5 == 0 ? "\n" : random() % 2 ? " " : "\t ");
    }
    std::istringstream check(text.str());
    std::vector<double> expected(std::size_t(frames) * vertices * 3);
    int counts[2];
    check >> counts[0] >> counts[1];
    for (double& x : expected)
        check >> x;
    ASSERT_TRUE(!check.fail() && expected[1000] == 0.17);
    PointTable t;
    ASSERT_TRUE(readText(text.str(), t));
    EXPECT_TRUE(t.values == expected);
}
