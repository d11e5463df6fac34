// Helpers for whole-run tests: write a context's inputs as files, run the
// program in a scratch folder, and read back what a rig file holds.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/program_flow.h"
#include "run/rigging_context.h"

namespace testrun {

inline void writeInputs(const RiggingContext& context, const Triangles& triangles, const std::string& sequencePath,
                        const std::string& restPath)
{
    std::ofstream seq(sequencePath);
    seq.precision(17);
    seq << context.sequence.rows << " " << context.sequence.columns << "\n";
    for (int f = 0; f < context.sequence.rows; ++f)
        for (int v = 0; v < context.sequence.columns; ++v) {
            const double* x = context.sequence.point(f, v);
            seq << x[0] << " " << x[1] << " " << x[2] << "\n";
        }
    std::ofstream rest(restPath);
    rest.precision(17);
    for (const Vector& p : context.restPose)
        rest << "v " << p[0] << " " << p[1] << " " << p[2] << "\n";
    for (const auto& t : triangles)
        rest << "f " << t[0] + 1 << " " << t[1] + 1 << " " << t[2] + 1 << "\n";
}

// A fresh folder that becomes the working directory for the test's lifetime.
struct ScratchDir {
    std::filesystem::path path;
    std::filesystem::path previous;
    explicit ScratchDir(const std::string& name)
    {
        previous = std::filesystem::current_path();
        path = std::filesystem::temp_directory_path() / ("tolvan-" + name + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
    }
    ~ScratchDir()
    {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(path);
    }
};

struct RunResult {
    int exitCode = 0;
    std::string out;
    std::string err;
};

inline RunResult run(std::vector<std::string> args)
{
    args.insert(args.begin(), "Tolvan");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    RunResult r;
    r.exitCode = runProgram(int(argv.size()), argv.data(), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

struct Rig {
    int numBones = 0, numJoints = 0, numFrames = 0, numVertices = 0;
    std::vector<std::vector<std::pair<int, double>>> weights;
    bool ok = false;
};

inline Rig readRig(const std::string& path)
{
    Rig rig;
    std::ifstream in(path);
    std::string line;
    auto next = [&]() { return bool(std::getline(in, line)); };
    while (next() && line.rfind("# JOINTS", 0) != 0) {
    }
    if (!next())
        return rig;
    std::istringstream(line) >> rig.numBones >> rig.numJoints;
    while (next() && line.rfind("# BONES", 0) != 0) {
    }
    next();
    std::istringstream(line) >> rig.numFrames;
    while (next() && line.rfind("# WEIGHTS", 0) != 0) {
    }
    next();
    std::istringstream(line) >> rig.numVertices;
    for (int v = 0; v < rig.numVertices && next(); ++v) {
        std::istringstream row(line);
        int index, bone;
        double w;
        row >> index;
        rig.weights.emplace_back();
        while (row >> bone >> w)
            rig.weights.back().push_back({bone, w});
    }
    rig.ok = int(rig.weights.size()) == rig.numVertices;
    return rig;
}

} // namespace testrun
