// Memory stays within what the input's size justifies: the readers run under
// an address-space limit on headers and records that promise far more than
// the file holds, and an honest file too large for the memory ends the run
// with a message instead of a crash.
#include <gtest/gtest.h>

#include <fcntl.h>

#include "child_process.h"
#include "io/io_test_files.h"
#include "io/rest_pose_file.h"
#include "io/sequence_file.h"
#include "support/run_files.h"

namespace {

constexpr long long kMegabyte = 1 << 20;

#define SKIP_UNDER_ADDRESS_SANITIZER()                                                  \
    if (testchild::addressSanitizerBuild() || testchild::threadSanitizerBuild())         \
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit allows"

// Reads a sequence in a child limited to 48 MB more than it uses; returns
// the reader's message ("" on success) or how the child ended.
std::string sequenceUnderLimit(const std::string& fileName)
{
    testchild::Outcome o = testchild::runInChild(
        [&](std::string& report) {
            PointTable table;
            return readSequence(fileName, table, report) ? 0 : 1;
        },
        48 * kMegabyte, 60);
    return o.finished ? (o.code == 0 ? "" : o.report) : "child " + o.describe();
}

} // namespace

TEST(MemoryBound, ForgedSequenceHeadersAreRefusedBeforeAllocating)
{
    SKIP_UNDER_ADDRESS_SANITIZER();
    ScratchFolder folder;
    // Each header asks for at least 240 MB of coordinates; the files hold a few bytes.
    const char* headers[] = {"2147483647 2147483647\n0 0 0\n", "1000 10000\n0 0 0 1 1 1\n", "1 2147483647\n",
                             "2147483647 1 1 2 3\n", "10000000 1\n-1-1-1-1-1-1-1-1-1-1-1-1\n"};
    for (const char* text : headers) {
        SCOPED_TRACE(text);
        std::string reason = sequenceUnderLimit(folder.file("seq.txt", text));
        EXPECT_NE(reason.find("the header announces"), std::string::npos) << reason;
    }
}

TEST(MemoryBound, SequenceFromAPipeGrowsWithWhatArrives)
{
    SKIP_UNDER_ADDRESS_SANITIZER();
    // A pipe has no size to check the header against: the table may only
    // grow as values arrive, so a forged header ends at the end of the data.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const std::string text = "100000 100000\n1 2 3 4 5 6\n";
    ASSERT_EQ(write(ends[1], text.data(), text.size()), ssize_t(text.size()));
    close(ends[1]);
    std::string reason = sequenceUnderLimit("/proc/self/fd/" + std::to_string(ends[0]));
    close(ends[0]);
    EXPECT_NE(reason.find("the file ends before frame 0, vertex 2, x coordinate"), std::string::npos) << reason;
}

TEST(MemoryBound, RestPoseMemoryFollowsTheFile)
{
    SKIP_UNDER_ADDRESS_SANITIZER();
    ScratchFolder folder;
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    struct Case {
        std::string text;
        const char* reason;
    } cases[] = {
        // An index far past the vertices costs nothing: it is only compared.
        {triangle + "f 1 2 2147483647\n", "face 1 uses vertex 2147483647, but the file has 3 vertices"},
        // A four-megabyte number is held once while it is read.
        {triangle + "v 1 1 1" + std::string(4 * kMegabyte, '0') + "\n", "is out of range"},
        {triangle + "v 0." + std::string(4 * kMegabyte, '0') + "x 0 0\n", "expected a number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        const std::string fileName = folder.file("rest.obj", c.text);
        testchild::Outcome o = testchild::runInChild(
            [&](std::string& report) {
                Matrix rest;
                Triangles triangles;
                return readRestPose(fileName, rest, triangles, report) ? 0 : 1;
            },
            48 * kMegabyte, 60);
        ASSERT_TRUE(o.finished) << o.describe();
        EXPECT_EQ(o.code, 1);
        EXPECT_NE(o.report.find(c.reason), std::string::npos) << o.report;
    }
}

TEST(MemoryBound, AnHonestFileTooLargeForTheMemoryEndsWithAMessage)
{
    SKIP_UNDER_ADDRESS_SANITIZER();
    testrun::ScratchDir dir("memory");
    // Eight million coordinates: 64 MB as numbers, more than the child may add.
    {
        std::ofstream seq("seq.txt");
        seq << "1 2666667\n";
        std::string block;
        for (int i = 0; i < 1 << 16; ++i)
            block += "0\n";
        for (long long written = 0; written < 3LL * 2666667; written += 1 << 16)
            seq << block;
    }
    std::ofstream("rest.obj") << "v 0 0 0\n";
    testchild::Outcome o = testchild::runInChild(
        [](std::string& report) {
            testrun::RunResult r = testrun::run({"seq.txt", "rest.obj", "out.rig.txt"});
            report = r.out + "|" + r.err;
            return r.exitCode;
        },
        32 * kMegabyte, 60);
    ASSERT_TRUE(o.finished) << o.describe();
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.report, "Loading seq.txt... Error!\n|Tolvan: seq.txt: not enough memory to hold the sequence\n");
    EXPECT_FALSE(std::filesystem::exists("out.rig.txt"));
}
