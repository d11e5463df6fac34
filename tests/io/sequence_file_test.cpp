#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <random>
#include <sstream>
#include <stdexcept>

#include "io/neighbours.h"
#include "io/number_text.h"
#include "io/rest_pose_file.h"
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

// Malformed rest poses are covered end to end by the bad-input corpus.
TEST(RestPoseFile, ReadsVerticesAndZeroBasedFacesInAnyOrder)
{
    ScratchFolder folder;
    Matrix restPose;
    Triangles triangles;
    std::string error;
    // Faces may come first; the last record may end the file.
    std::string name = folder.file("rest.obj", "f 1 2 3\nv 0 0 0\nv 1 0 0\n\n  v 0 +1 -0.5\tf 3 2 1");
    ASSERT_TRUE(readRestPose(name, restPose, triangles, error)) << error;
    ASSERT_EQ(restPose.size(), 3u);
    EXPECT_TRUE(restPose[2][1] == 1.0 && restPose[2][2] == -0.5);
    EXPECT_EQ(triangles, (Triangles{{0, 1, 2}, {2, 1, 0}}));

    ASSERT_TRUE(readRestPose(folder.file("v.obj", "v 1 2 3\nv 4 5 6\n"), restPose, triangles, error));
    EXPECT_TRUE(restPose.size() == 2 && triangles.empty());
    ASSERT_TRUE(readRestPose(folder.file("blank.obj", " \r\n\t"), restPose, triangles, error));
    EXPECT_TRUE(restPose.empty() && triangles.empty());
}

using Lists = std::vector<std::vector<int>>;

TEST(Neighbours, ListsFollowTheFirstOccurrenceOfEachEdge)
{
    Lists lists;
    buildNeighbours(3, {{0, 1, 2}}, lists);
    EXPECT_EQ(lists, (Lists{{1, 2}, {0, 2}, {1, 0}}));
    buildNeighbours(5, {{0, 1, 2}, {2, 1, 3}}, lists); // the shared edge {1, 2} once; vertex 4 unused
    EXPECT_EQ(lists, (Lists{{1, 2}, {0, 2, 3}, {1, 0, 3}, {1, 2}, {}}));
    buildNeighbours(6, {{4, 4, 5}}, lists); // {4, 4} puts 4 twice into its own list
    EXPECT_EQ(lists, (Lists{{}, {}, {}, {}, {4, 4, 5}, {4}}));
    EXPECT_THROW(buildNeighbours(3, {{0, 1, 3}}, lists), std::out_of_range);
    EXPECT_THROW(buildNeighbours(3, {{-1, 1, 2}}, lists), std::out_of_range);
}

namespace {

// The scanner must agree with formatted stream extraction in the classic
// locale: same success, same value bit for bit, same characters consumed.
template <typename T, typename Scan>
void expectSameAsStream(const std::string& text, Scan scan)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    T expected{};
    in >> expected;
    bool expectedOk = !in.fail();
    in.clear();
    long consumed = in.tellg() < 0 ? long(text.size()) : long(in.tellg());
    T value;
    NumberStatus status;
    const char* stop = scan(text.data(), text.data() + text.size(), value, status);
    ASSERT_EQ(status == NumberStatus::Ok, expectedOk) << "\"" << text << "\"";
    if (expectedOk) {
        EXPECT_EQ(std::memcmp(&value, &expected, sizeof(T)), 0) << "\"" << text << "\"";
        EXPECT_EQ(stop - text.data(), consumed) << "\"" << text << "\"";
    }
}

void expectBoth(const std::string& text)
{
    expectSameAsStream<double>(text, scanReal);
    expectSameAsStream<int>(text, scanInteger);
}

} // namespace

TEST(NumberText, ReadsAsStreamExtractionReads)
{
    const std::string follows = "1e+5"; // a scan stops at the end it is given, whatever follows
    double value;
    NumberStatus status;
    EXPECT_EQ(scanReal(follows.data(), follows.data() + 2, value, status), follows.data() + 2);
    for (const char* text :
         {"0", "-0", "+0", "+1.5", ".5", "5.", "-.5", "+.5", ".", "-", "+", "+-5", "", "e5", ".e5", "1e", "1E", "1e+",
          "1e-", "1e+-5", "1E-5", "1.e5", "1e5e3", "1..2", "1.5-2", "0x10", "00012", "inf", "-inf", "nan", "infinity",
          "1,5", "1e-400", "-1e-400", "1e999", "-1e999", "1e-310", "2.4703282292062327e-324", "2.4703282292062328e-324",
          "1.7976931348623158e308", "1.7976931348623159e308", "0e999999999999", "1e-99999999999999999999",
          "1e99999999999999999999", "0.30000000000000004", "123456789012345678901234567890", "9007199254740993",
          "2147483647", "2147483648", "-2147483648", "-2147483649", "1/2/3", "000000000000000000000000042"})
        expectBoth(text);

    std::mt19937 random(7);
    const char alphabet[] = "0123456789.eE+-x5";
    for (int n = 0; n < 20000; ++n) {
        std::string text(1 + random() % 9, ' ');
        for (char& c : text)
            c = alphabet[random() % (sizeof(alphabet) - 1)];
        expectBoth(text);
    }
    // Long mantissas, exponents towards both ends of the range.
    for (int n = 0; n < 2000; ++n) {
        std::string text = random() % 2 ? "-" : "";
        for (int d = 0, digits = 1 + random() % 25; d < digits; ++d)
            text += char('0' + random() % 10);
        expectBoth(text + "." + std::to_string(random()) + "e" + std::to_string(int(random() % 700) - 350));
    }
}

// The default is the stream's format; other digit counts are printf's %g,
// and 0 the shortest text that reads back as the same bits.
TEST(NumberText, WritesAsTheStreamAndPrintfFormat)
{
    for (double x : {0.0, -0.0, 0.5, 1.0 / 3.0, 1e-5, 1e-20, 123456.5, 1234565.0, 999999.5, 9.999995e-5, 1e100,
                     5e-324, -1.7976931348623157e308, 100000.0, 1e6, 0.1 + 0.2, std::nan(""), -HUGE_VAL}) {
        std::ostringstream stream;
        stream << x;
        char text[kMaxNumberText], expected[64];
        EXPECT_EQ(std::string(text, formatReal(text, x)), stream.str());
        for (int digits : {9, 17, 40}) {
            std::snprintf(expected, sizeof expected, "%.*g", digits < 17 ? digits : 17, x);
            EXPECT_EQ(std::string(text, formatReal(text, x, digits)), expected) << digits;
        }
        const double back = std::strtod(std::string(text, formatReal(text, x, 0)).c_str(), nullptr);
        EXPECT_TRUE(std::memcmp(&back, &x, sizeof x) == 0 || std::isnan(x)) << text;
    }
}
