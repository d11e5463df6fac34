// The bad-input corpus: every malformed input ends the program with exit code
// 1, "Error!" where its loading line ends, one line with the reason on stderr,
// and no rig file. Memory stays within what the input's size justifies: the
// program runs under an address-space limit on inputs that promise far more
// than they hold, and an honest file too large for the memory ends the run
// with a message instead of a crash.
#include <gtest/gtest.h>

#include <fstream>

#include "io/io_test_files.h"

namespace {

std::string junk()
{
    std::string bytes;
    for (unsigned i = 0, state = 12345; i < 300; ++i)
        bytes += char((state = state * 1103515245u + 12345u) >> 16);
    return bytes;
}

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

TEST(BadInput, EveryCaseFailsCleanlyWithAReason)
{
    const std::string seq = "1 3\n0 0 0  1 0 0  0 1 0\n", tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n", rest = tri + "f 1 2 3\n";
    // sequence, rest pose, reason; the rest pose fails where the sequence is good.
    const std::string cases[][3] = {
        {"", rest, "seq.txt: the file ends before the frame count"},
        {"2", rest, "the file ends before the vertex count"},
        {"0 5\n", rest, "seq.txt: line 1: the frame count is 0; it must be at least 1"},
        {"4 0\n", rest, "the vertex count is 0"},
        {"-1 3\n0 0 0\n", rest, "the frame count is -1"},
        {"1.5 3\n", rest, "the vertex count: expected a number, found \".5\""},
        {"1 99999999999\n", rest, "the vertex count: \"99999999999\" is out of range"},
        {"1 1000000000\n0 0 0\n", rest, "the header announces 1 frames of 1000000000 vertices"},
        {"1 3\n0 0 0 1 0 0 0 1", rest, "more than the remaining 16 bytes can hold"},
        {"1 3\n0.0 0.0 0.0 1.0 0.0 0.0 0.0 1.0", rest, "the file ends before frame 0, vertex 2, z coordinate"},
        {"1 3\n0 0 0\n1 O 0\n0 1 0\n", rest, "line 3: frame 0, vertex 1, y coordinate: expected a number, found \"O\""},
        {"1 3\n0 0 0 1 0 0 0 1 1e400\n", rest, "z coordinate: \"1e400\" is out of range"},
        {junk(), rest, "seq.txt: line "},
        {seq, "", "rest.obj: the rest pose has 0 vertices, but each frame of seq.txt has 3"},
        {seq, tri + "v 1 1 1\n", "the rest pose has 4 vertices"},
        {seq, "# exported\n" + rest, "rest.obj: line 1: unexpected \"#\" where a record starts"},
        {seq, tri + "vn 0 0 1\n", "line 4: unexpected \"vn\""},
        {seq, tri + "v1 1 1\n", "unexpected \"v1\""},
        {seq, "v 0 0 0\nv 1 0 0\nv 0 1 0 f 1 2 3 3\n", "line 3: unexpected \"3\""},
        {seq, tri + "f 1/1/1 2/2/2 3/3/3\n", "line 4: face record: expected a vertex number, found \"/1/1\""},
        {seq, tri + "f 1 2 99999999999\n", "\"99999999999\" is out of range"},
        {seq, "v 0 0 0\nv 1 0,5 0\nv 0 1 0\n", "line 2: vertex record: expected a number, found \",5\""},
        {seq, "v 0 0 0\nv 1 0 0\nv 0 1 1e999\n", "\"1e999\" is out of range"},
        {seq, tri + "v 1 1", "the file ends inside a vertex record"},
        {seq, tri + "f 1 2", "the file ends inside a face record"},
        {seq, tri + "v", "the file ends inside a vertex record"},
        {seq, tri + "f 0 1 2\n", "line 4: face 1 uses vertex 0; vertices are numbered from 1"},
        {seq, "f 1 2 3\nf 2 3 4\n" + tri, "rest.obj: face 2 uses vertex 4, but the file has 3 vertices"},
        {seq, std::string("v 0 0 0\n\x01\0\xfe junk", 16), "line 2: unexpected \"\\x01\\x00\\xfe\""},
        {seq, junk(), "rest.obj: line "},
    };
    for (const auto& [sequence, restPose, reason] : cases) {
        SCOPED_TRACE(reason);
        ScratchFolder folder;
        folder.file("seq.txt", sequence);
        folder.file("rest.obj", restPose);
        CommandResult r = runCommand(folder, tool + " seq.txt rest.obj out.rig.txt");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, sequence != seq ? "Loading seq.txt... Error!\n"
                                         : "Loading seq.txt... Done!\nLoading rest.obj... Error!\n");
        EXPECT_EQ(r.err.rfind("Tolvan: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(folder.at("out.rig.txt")));
    }
    // A missing file is named (a quiet run's output is pinned by the expected outputs).
    ScratchFolder folder;
    folder.file("seq.txt", seq);
    CommandResult r = runCommand(folder, tool + " -DBG 0 seq.txt nothere.obj out.rig.txt");
    EXPECT_NE(r.err.find("nothere.obj: cannot open: No such file or directory"), std::string::npos) << r.err;
}

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
