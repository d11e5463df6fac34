#include "run/program_flow.h"

#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#include "context/rigging_context.h"
#include "io/neighbours.h"
#include "io/rest_scale.h"
#include "io/rest_pose_file.h"
#include "io/rig_file.h"
#include "io/sequence_file.h"
#include "parallel/stage_times.h"
#include "parallel/thread_pool.h"
#include "run/command_line.h"
#include "run/driver.h"
#include "run/skeleton_hint.h"

namespace {

void beginStep(const RiggingContext& context, const char* verb, const std::string& fileName)
{
    if (context.debugLevel != 0)
        *context.console << verb << fileName << "... ";
}

void stepDone(const RiggingContext& context)
{
    if (context.debugLevel != 0)
        *context.console << "Done!\n";
}

// A failed step completes its console line with "Error!" whatever the debug
// level; the reason goes to the error stream.
bool stepFailed(const RiggingContext& context, std::ostream& err, const std::string& reason)
{
    *context.console << "Error!\n";
    context.console->flush();
    err << "Tolvan: " << reason << "\n";
    return false;
}

// A rest pose in other units or another space than the frames gives a rig
// that cannot follow them, with no other sign: say so (the run goes on).
void warnOnRestScale(const RiggingContext& context, const Triangles& triangles, std::ostream& err)
{
    std::vector<double> rest;
    rest.reserve(context.restPose.size() * 3);
    for (std::size_t v = 0; v < context.restPose.size(); ++v)
        rest.insert(rest.end(), {context.restPose[v][0], context.restPose[v][1], context.restPose[v][2]});
    const RestScale scale = measureRestScale(rest, triangles.empty() ? nullptr : triangles[0].data(), triangles.size(),
                                             context.sequence.values.data(), std::size_t(context.sequence.rows));
    const std::string warning = restScaleWarning(scale);
    if (!warning.empty())
        err << "Tolvan: warning: " << restPoseFile << ": " << warning
            << "; give a rest pose in the frames' space (tolvan-convert's importers take frame 0 with --rest-pose frame:0)\n";
}

} // namespace

bool loadInputs(RiggingContext& context, Triangles& triangles, std::ostream& err)
{
    std::string reason;
    beginStep(context, "Loading ", sequenceFile);
    bool ok = false;
    // A valid file too large for the memory still completes its console line.
    try {
        ok = readSequence(sequenceFile, context.sequence, reason);
    } catch (const std::bad_alloc&) {
        reason = sequenceFile + ": not enough memory to hold the sequence";
    }
    if (!ok)
        return stepFailed(context, err, reason);
    stepDone(context);

    beginStep(context, "Loading ", restPoseFile);
    try {
        ok = readRestPose(restPoseFile, context.restPose, triangles, reason);
    } catch (const std::bad_alloc&) {
        ok = false;
        reason = restPoseFile + ": not enough memory to hold the rest pose";
    }
    if (!ok)
        return stepFailed(context, err, reason);
    // Every later stage pairs rest-pose vertex v with vertex v of each frame.
    if (context.restPose.size() != std::size_t(context.sequence.columns))
        return stepFailed(context, err,
                          restPoseFile + ": the rest pose has " + std::to_string(context.restPose.size()) +
                              " vertices, but each frame of " + sequenceFile + " has " +
                              std::to_string(context.sequence.columns));
    buildNeighbours(int(context.restPose.size()), triangles, context.neighbours);
    stepDone(context);
    warnOnRestScale(context, triangles, err);
    return true;
}

bool writeOutput(const RiggingContext& context, std::ostream& err)
{
    std::string reason;
    beginStep(context, "Writing ", outputFile);
    if (!writeRig(context, outputFile, reason))
        return stepFailed(context, err, reason);
    stepDone(context);
    return true;
}

int runProgram(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    RiggingContext context;
    context.console = &out;
    if (isHelpRequest(argc, argv)) {
        printUsage(context, out);
        return 0;
    }
    if (parseCommandLine(context, argc, argv) != ParseResult::Ok) {
        printUsage(context, out);
        return 1;
    }
    std::string problem = checkParameters(context);
    if (!problem.empty()) {
        err << "Tolvan: " << problem << "\n";
        return 1;
    }
    std::string warning;
    const int threads = threadCountSetting(std::getenv("TOLVAN_THREADS"), std::thread::hardware_concurrency(), warning);
    if (!warning.empty())
        err << "Tolvan: warning: " << warning << "\n";
    // The program flow owns the triangles for the whole run.
    Triangles triangles;
    if (!loadInputs(context, triangles, err))
        return 1;

    context.diagnostics = &err;
    // The threads live for this run only.
    ThreadPool pool(threads);
    context.pool = &pool;
    StageTimes times;
    const char* timing = std::getenv("TOLVAN_STAGE_TIMES");
    times.enabled = timing != nullptr && std::string(timing) == "1";
    context.stageTimes = &times;
    std::string reason;
    const bool decomposed = runDecomposition(context, reason);
    if (times.enabled)
        printStageTimes(times, pool.size(), err);
    if (!decomposed) {
        out.flush();
        err << "Tolvan: " << reason << "\n";
        return 1;
    }
    // A rig with a non-finite number would be a corrupted asset: refuse it.
    std::string where;
    if (!rigIsFinite(context, where)) {
        out.flush();
        err << "Tolvan: the decomposition diverged (" << where << " is not finite); no rig was written\n";
        return 1;
    }
    if (!writeOutput(context, err))
        return 1;
    out.flush();
    err << skeletonHint(context.fitErrorWithoutSkeleton, context.fitError, context.boxDiagonal);
    return 0;
}
