// Helpers for whole-run tests: write a context's inputs as files, run the
// program in a scratch folder, and read back what a rig file holds.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "context/rigging_context.h"
#include "io/rig_text.h"
#include "io/io_test_files.h"
#include "run/program_flow.h"

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
struct ScratchDir : ScratchFolder {
    std::filesystem::path previous = std::filesystem::current_path();
    explicit ScratchDir(const std::string& /* label, for the reader */) { std::filesystem::current_path(path); }
    ~ScratchDir() { std::filesystem::current_path(previous); }
};

// Runs the program in this process on the arguments (the program name excluded).
inline CommandResult run(std::vector<std::string> args)
{
    args.insert(args.begin(), "Tolvan");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int exitCode = runProgram(int(argv.size()), argv.data(), out, err);
    return {exitCode, out.str(), err.str()};
}

// What a rig file holds, read by the rig reader of the companion tools
// (ok false when the file is missing or malformed).
struct Rig : RigData {
    int numJoints = 0;
    bool ok = false;
};

inline Rig readRig(const std::string& path)
{
    Rig rig;
    std::string error;
    rig.ok = readRigFile(path, rig, error);
    rig.numJoints = int(rig.joints.size());
    return rig;
}

// Every vertex has at most maxWeights weights, each non-negative and on an
// existing bone, summing to one (a file holds six digits).
inline void expectWeightRows(const RigData& rig, std::size_t maxWeights, double tolerance = 1e-5)
{
    for (std::size_t v = 0; v < rig.weights.size(); ++v) {
        EXPECT_LE(rig.weights[v].size(), maxWeights) << "vertex " << v;
        double sum = 0.0;
        for (auto [bone, w] : rig.weights[v]) {
            EXPECT_TRUE(bone >= 0 && bone < rig.numBones && w >= 0.0) << "vertex " << v;
            sum += w;
        }
        EXPECT_NEAR(sum, 1.0, tolerance) << "vertex " << v;
    }
}

} // namespace testrun
