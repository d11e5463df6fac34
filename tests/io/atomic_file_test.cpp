#include <gtest/gtest.h>

#include <unistd.h>

#include "io/atomic_file.h"
#include "io/io_test_files.h"

namespace {

// A batch is written whole or not at all, and a link planted where a
// predictable temporary name would be (in a folder shared with other users)
// is never followed. Modes: see the rig file tests.
TEST(AtomicFile, BatchIsAllOrNothingAndFollowsNoPlantedLink)
{
    ScratchFolder dir;
    std::string error;
    const std::string victim = dir.file("victim", "keep\n"), a = dir.file("a.txt", "old\n");
    ASSERT_EQ(::symlink(victim.c_str(), (a + ".tmp" + std::to_string(::getpid())).c_str()), 0);

    std::vector<StagedFile> staged(2);
    ASSERT_TRUE(stageFile(a, "new\n", staged[0], error)) << error;
    EXPECT_FALSE(stageFile(dir.at("missing/b.txt"), "b", staged[1], error));
    EXPECT_EQ(error.rfind("cannot create a temporary file for " + dir.at("missing/b.txt") + ": ", 0), 0u) << error;
    staged.resize(1);
    discardStagedFiles(staged);
    EXPECT_EQ(readWholeFile(a), "old\n");

    ASSERT_TRUE(writeFileAtomically(a, "new\n", error)) << error;
    EXPECT_EQ(readWholeFile(a) + readWholeFile(victim), "new\nkeep\n");
    auto entries = std::filesystem::directory_iterator(dir.path); // nothing left behind
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 3);
}

} // namespace
