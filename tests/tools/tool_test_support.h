// Helpers for the tests of the companion programs: a scratch folder per
// test and running a program with its output captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace tooltest {

// A fresh folder named after the running test, removed afterwards.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir()
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = std::filesystem::temp_directory_path() /
               ("tolvan-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" + std::to_string(getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline std::string readText(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeText(const std::string& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary);
    out << text;
}

inline std::string quote(const std::string& arg)
{
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line with standard output and error captured.
inline CommandResult runCommand(const ScratchDir& dir, const std::string& command)
{
    CommandResult r;
    std::string outFile = dir / "stdout.txt", errFile = dir / "stderr.txt";
    int status = std::system((command + " > " + quote(outFile) + " 2> " + quote(errFile)).c_str());
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readText(outFile);
    r.err = readText(errFile);
    return r;
}

} // namespace tooltest
