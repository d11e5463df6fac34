// Memory stays within what the input's size justifies: the program runs
// under an address-space limit on inputs that promise far more than they
// hold, and an honest file too large for the memory ends the run with a
// message instead of a crash.
#include <gtest/gtest.h>

#include <fstream>

#include "io/io_test_files.h"

namespace {

const std::string tool = quote(TOLVAN_EXECUTABLE);

// The program on seq.txt (or what `input` pipes in) and rest.obj, limited
// to kilobytes of address space.
CommandResult runLimited(const ScratchFolder& folder, long kilobytes, const std::string& input = "")
{
    const std::string limit = "ulimit -v " + std::to_string(kilobytes) + " && ";
    return runCommand(folder, input.empty() ? limit + tool + " seq.txt rest.obj out.rig.txt"
                                            : "printf " + quote(input) + " | (" + limit + tool +
                                                  " /dev/stdin rest.obj out.rig.txt)");
}

} // namespace

TEST(MemoryBound, InputsThatPromiseMoreThanTheyHoldAreReadWithinTheLimit)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit allows";
#endif
    ScratchFolder folder;
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    folder.file("seq.txt", "1 3\n0 0 0 1 0 0 0 1 0\n");
    // A pipe has no size to check the header against: the table may only
    // grow as values arrive, so a forged header ends at the end of the data.
    CommandResult piped = runLimited(folder, 64 << 10, "100000 100000\n1 2 3 4 5 6\n");
    EXPECT_EQ(piped.exitCode, 1);
    EXPECT_NE(piped.err.find("the file ends before frame 0, vertex 2, x coordinate"), std::string::npos) << piped.err;
    const struct {
        std::string text;
        const char* reason;
    } restPoses[] = {
        // An index far past the vertices costs nothing: it is only compared.
        {triangle + "f 1 2 2147483647\n", "face 1 uses vertex 2147483647, but the file has 3 vertices"},
        // A four-megabyte number is held once while it is read.
        {triangle + "v 1 1 1" + std::string(4 << 20, '0') + "\n", "is out of range"},
        {triangle + "v 0." + std::string(4 << 20, '0') + "x 0 0\n", "expected a number"},
    };
    for (const auto& c : restPoses) {
        SCOPED_TRACE(c.reason);
        folder.file("rest.obj", c.text);
        CommandResult r = runLimited(folder, 64 << 10);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    }
}

TEST(MemoryBound, AnHonestFileTooLargeForTheMemoryEndsWithAMessage)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit allows";
#endif
    ScratchFolder folder;
    // Eight million coordinates: 64 MB as numbers, more than the limit leaves.
    {
        std::ofstream seq(folder.at("seq.txt"));
        seq << "1 2666667\n";
        std::string block;
        for (int i = 0; i < 1 << 16; ++i)
            block += "0\n";
        for (long long written = 0; written < 3LL * 2666667; written += 1 << 16)
            seq << block;
    }
    folder.file("rest.obj", "v 0 0 0\n");
    CommandResult r = runLimited(folder, 40 << 10);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Loading seq.txt... Error!\n");
    EXPECT_EQ(r.err, "Tolvan: seq.txt: not enough memory to hold the sequence\n");
    EXPECT_FALSE(std::filesystem::exists(folder.at("out.rig.txt")));
}
