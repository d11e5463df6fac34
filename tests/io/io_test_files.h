// Scratch files for the file tests: a fresh folder per test, removed at the end.
#pragma once

#include <cstdio>
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
        const char* made = mkdtemp(pattern);
        path = made ? made : "";
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Writes text (taken byte for byte) to name in the folder; returns the full path.
    std::string file(const std::string& name, const std::string& text) const
    {
        std::string full = path + "/" + name;
        std::ofstream out(full, std::ios::binary);
        out << text;
        return full;
    }
    std::string at(const std::string& name) const { return path + "/" + name; }
};

inline std::string readWholeFile(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
