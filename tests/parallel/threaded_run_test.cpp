// Whole runs of the program give the same console output and rig file,
// byte for byte, whatever the number of threads.
#include <gtest/gtest.h>


#include "io/io_test_files.h"
#include "support/quiet_regex.h"

namespace {

// Runs Tolvan on the generated creature in dir/c with TOLVAN_THREADS set to
// threads (unset when empty), writing the rig to out.rig.txt; prefix goes
// before it on the command line.
CommandResult runWithThreads(const ScratchFolder& dir, const std::string& threads, const std::string& prefix = "")
{
    const std::string setting = threads.empty() ? "unset TOLVAN_THREADS; " : "TOLVAN_THREADS=" + threads + " ";
    return runCommand(dir, prefix + setting + quote(TOLVAN_EXECUTABLE) +
                               " c/creature.anim.txt c/creature.rest.obj out.rig.txt");
}

TEST(ThreadedRun, IsIdenticalWithOneAndFourThreads)
{
    // A soft, 2,006-vertex creature: many initial bones (more than 64, so the
    // bone sets take more than one word), pruning and joints.
    ScratchFolder dir;
    CommandResult made = runCommand(dir, quote(TOLVAN_MAKE_EXAMPLE) + " --detail 1.07 --soft 0.03 c");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ASSERT_NE(made.out.find("(2006 vertices"), std::string::npos) << made.out;

    const CommandResult one = runWithThreads(dir, "1");
    ASSERT_EQ(one.exitCode, 0) << one.err;
    std::smatch initial;
    ASSERT_TRUE(std::regex_search(one.out, initial, std::regex("Segmentation\\.\\.\\. Done \\| ([0-9]+) \\(bones\\)")));
    EXPECT_GT(std::stoi(initial[1]), 64);
    EXPECT_NE(one.out.find(" bones remain\n"), std::string::npos);
    EXPECT_NE(one.out.find(" Ej="), std::string::npos);
    const std::string rig = readWholeFile(dir.at("out.rig.txt"));

    const CommandResult four = runWithThreads(dir, "4");
    ASSERT_EQ(four.exitCode, 0) << four.err;
    EXPECT_TRUE(four.out == one.out) << "the console output differs";
    EXPECT_TRUE(four.err.empty()) << four.err;
    ASSERT_FALSE(rig.empty());
    EXPECT_TRUE(readWholeFile(dir.at("out.rig.txt")) == rig) << "the rig files differ";
}

TEST(ThreadedRun, WarnsOfAnUnusableThreadCountAndRunsOn)
{
    ScratchFolder dir;
    ASSERT_EQ(runCommand(dir, quote(TOLVAN_MAKE_EXAMPLE) + " --frames 10 c").exitCode, 0);
    const CommandResult plain = runWithThreads(dir, "");
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    for (const char* bad : {"two", "-1", "1.5"}) {
        const CommandResult r = runWithThreads(dir, bad);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(r.out == plain.out) << bad;
        EXPECT_NE(r.err.find(std::string("warning: TOLVAN_THREADS=") + bad + " is not a whole number"), std::string::npos)
            << r.err;
    }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Too little address space for 64 threads' stacks: the run goes on with
    // the threads that could start and gives the same output, or (when their
    // stacks leave too little for the data) ends with a message; no crash.
    const CommandResult limited = runWithThreads(dir, "64", "ulimit -v 65536 && ");
    if (limited.exitCode == 0) {
        EXPECT_TRUE(limited.out == plain.out);
    } else {
        EXPECT_EQ(limited.exitCode, 1);
        EXPECT_NE(limited.err.find("out of memory"), std::string::npos) << limited.err;
    }
#endif
}

} // namespace
