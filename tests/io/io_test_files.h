// Scratch files for the file and program tests: a fresh folder per test,
// removed at the end, and programs run with their output captured there.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

struct ScratchFolder {
    std::string path;

    ScratchFolder()
    {
        char pattern[] = "/tmp/tolvan-io-XXXXXX";
        path = mkdtemp(pattern) ? pattern : "";
    }
    ~ScratchFolder() { std::error_code ignored; std::filesystem::remove_all(path, ignored); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string at(const std::string& name) const { return path + "/" + name; }
    // Writes text byte for byte to name in the folder; returns the full path.
    std::string file(const std::string& name, const std::string& text) const
    {
        std::ofstream(at(name), std::ios::binary) << text;
        return at(name);
    }
};

inline std::string readWholeFile(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// arg as one shell word.
inline std::string quote(const std::string& arg)
{
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct CommandResult {
    int exitCode = -1;
    std::string out, err;
};

// Runs a shell command line inside the folder, standard output and error captured.
inline CommandResult runCommand(const ScratchFolder& folder, const std::string& command)
{
    const std::string out = folder.at(".stdout"), err = folder.at(".stderr");
    int status = std::system(("cd " + quote(folder.path) + " && " + command + " >" + quote(out) + " 2>" + quote(err)).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readWholeFile(out), readWholeFile(err)};
}
