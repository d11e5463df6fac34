// A run killed at any moment leaves the output file either as it was before
// the run or as the complete new rig, never half-written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "io/io_test_files.h"
#include "support/bar_mesh.h"
#include "support/run_files.h"

namespace {

using Clock = std::chrono::steady_clock;

pid_t startTool(const std::string& folder)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(TOLVAN_EXECUTABLE, "Tolvan", "-DBG", "0", "-N_REP", "2", "seq.txt", "rest.obj", "out.rig.txt",
              (char*)nullptr);
        _exit(127);
    }
    return pid;
}

// The hidden temporary files of the writer that a killed run leaves behind.
int removeTemporaryFiles(const std::string& folder)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".out.rig.txt.", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".tmp") {
            std::filesystem::remove(entry.path());
            ++count;
        }
    }
    return count;
}

// True once the run has begun to write: its temporary file exists or the
// output is no longer the previous one.
bool writingStarted(const std::string& folder, std::uintmax_t previousSize)
{
    std::error_code error;
    if (std::filesystem::file_size(folder + "/out.rig.txt", error) != previousSize)
        return true;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind(".out.rig.txt.", 0) == 0)
            return true;
    return false;
}

} // namespace

TEST(AtomicOutput, AKilledRunLeavesTheOldOrTheNewRig)
{
    ScratchFolder folder;
    {
        RiggingContext context;
        Triangles triangles;
        testmesh::makeBar(40, 0, context.restPose, triangles);
        std::vector<int> partOf(160);
        for (int v = 0; v < 160; ++v)
            partOf[v] = v / 60;
        testmesh::animateParts(context, triangles, partOf, 60, 15);
        testrun::writeInputs(context, triangles, folder.at("seq.txt"), folder.at("rest.obj"));
    }

    // The complete rig, and how long a whole run takes.
    const Clock::time_point start = Clock::now();
    pid_t pid = startTool(folder.path);
    int status = 0;
    waitpid(pid, &status, 0);
    const auto runTime = Clock::now() - start;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string complete = readWholeFile(folder.at("out.rig.txt"));
    ASSERT_TRUE(testrun::readRig(folder.at("out.rig.txt")).ok);

    const std::string previous = "a rig from an earlier run\n";
    std::mt19937 random(11);
    int keptOld = 0, gotNew = 0;
    for (int trial = 0; trial < 24; ++trial) {
        folder.file("out.rig.txt", previous);
        pid = startTool(folder.path);
        if (trial % 2 == 0) {
            // Anywhere in the run, the writing included.
            const auto delay = std::chrono::duration_cast<std::chrono::microseconds>(runTime * 1.1) *
                               std::uniform_real_distribution<double>(0, 1)(random);
            std::this_thread::sleep_for(delay);
        } else {
            // While writing: a few microseconds after it began.
            while (!writingStarted(folder.path, previous.size()) && waitpid(pid, &status, WNOHANG) == 0) {
            }
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 400));
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        const std::string now = readWholeFile(folder.at("out.rig.txt"));
        EXPECT_TRUE(now == previous || now == complete) << "trial " << trial << ": " << now.size() << " bytes";
        (now == previous ? keptOld : gotNew) += 1;
        removeTemporaryFiles(folder.path);
    }
    std::printf("killed runs: %d left the previous file, %d the new rig\n", keptOld, gotNew);
    RecordProperty("keptOld", keptOld);
    RecordProperty("gotNew", gotNew);

    // Nothing left behind affects the next run.
    pid = startTool(folder.path);
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readWholeFile(folder.at("out.rig.txt")), complete);
    EXPECT_EQ(removeTemporaryFiles(folder.path), 0);
}
