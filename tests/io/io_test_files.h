// Scratch files for the file tests: a fresh folder per test, removed at the end.
#pragma once

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
