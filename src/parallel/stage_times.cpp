#include "parallel/stage_times.h"

#include <cstdio>
#include <ostream>

StageTimer::StageTimer(StageTimes* t, Stage s) : times(t && t->enabled ? t : nullptr), stage(s)
{
    if (times)
        start = std::chrono::steady_clock::now();
}

StageTimer::~StageTimer()
{
    if (!times)
        return;
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    times->seconds[int(stage)] += spent.count();
    times->calls[int(stage)] += 1;
}

void printStageTimes(const StageTimes& times, int threads, std::ostream& out)
{
    static const char* const names[int(Stage::Count)] = {"initialisation", "rigidity-weights", "candidate-bones",
                                                         "weight-solve",   "joint-update",     "bone-update",
                                                         "pruning",        "errors",           "skeleton"};
    double total = 0.0;
    char line[128];
    for (int s = 0; s < int(Stage::Count); ++s) {
        std::snprintf(line, sizeof line, "Tolvan: stage %-16s %9.3f s %7lld calls\n", names[s], times.seconds[s],
                      times.calls[s]);
        out << line;
        total += times.seconds[s];
    }
    std::snprintf(line, sizeof line, "Tolvan: stage %-16s %9.3f s with %d thread%s\n", "total", total, threads,
                  threads == 1 ? "" : "s");
    out << line;
}
