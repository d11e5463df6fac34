#include "run/skeleton_hint.h"

#include <cmath>
#include <cstdio>

std::string skeletonHint(double withoutSkeleton, double withSkeleton, double boxDiagonal)
{
    // A mesh without extent has no percentages to compare.
    if (!(boxDiagonal > 0.0) || !std::isfinite(boxDiagonal))
        return "";
    const double before = withoutSkeleton / boxDiagonal * 100, after = withSkeleton / boxDiagonal * 100;
    if (!(after > 2 * before && after > before + 0.5))
        return "";
    char line[320];
    std::snprintf(line, sizeof(line),
                  "Tolvan: warning: the skeleton raised the RMS error from %.2f %% to %.2f %% of the box diagonal; "
                  "pieces that move apart (debris, separate objects) rig better with -N_REP 0\n",
                  before, after);
    return line;
}
