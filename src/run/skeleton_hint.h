// The word to the user when the joints made the fit clearly worse: pieces
// that move apart (debris, separate objects) are pulled together by the
// skeleton, and a run without its repetitions keeps them apart.
#pragma once

#include <string>

// Inputs: the RMS fit error at the end of the last stage without a skeleton
// and at the end of the run, and the rest pose's box diagonal (all lengths).
// Returns one line for standard error (with its newline) when the final
// error is more than twice the earlier one and more than 0.5 percentage
// points of the diagonal above it; otherwise "".
std::string skeletonHint(double withoutSkeleton, double withSkeleton, double boxDiagonal);
