// Wall time spent in each stage of a run, for finding where the time goes
// and what the threads gain (TOLVAN_STAGE_TIMES=1 prints it at the end).
#pragma once

#include <chrono>
#include <iosfwd>

enum class Stage { Initialisation, RigidityWeights, CandidateBones, WeightSolve, JointUpdate, BoneUpdate, Pruning,
                   Errors, Skeleton, Count };

struct StageTimes {
    bool enabled = false;
    double seconds[int(Stage::Count)] = {};
    long long calls[int(Stage::Count)] = {};
};

// Adds the time from its making to its end to the stage (nothing when times
// is null or not enabled).
struct StageTimer {
    StageTimer(StageTimes* times, Stage stage);
    ~StageTimer();
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

    StageTimes* times;
    Stage stage;
    std::chrono::steady_clock::time_point start;
};

// One line per stage: "Tolvan: stage NAME SECONDS s CALLS calls", then the
// total of the stages, with the thread count.
void printStageTimes(const StageTimes& times, int threads, std::ostream& out);
