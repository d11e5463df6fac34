// The decomposition: initialisation, stages without and with skeleton.
#pragma once

#include <string>

#include "context/rigging_context.h"
#include "weights/fit_cache.h"

void computeBoundingBox(RiggingContext& context);
double computeFitError(const RiggingContext& context);
double computeJointError(const RiggingContext& context);

enum class RepsResult { Completed, BoneRemoved, NoBoneLeft };
// n repetitions with non-zero limit k, lambda growing from the given value;
// kept (or null) is the weight passes' kept work.
RepsResult runReps(RiggingContext& context, FitCache* kept, int k, int n, double lambda);

// Whether the weight passes keep work while the bones stay unchanged (the
// result is the same bit for bit; off only to compare the two).
enum class KeptWork { On, Off };

// Returns false with a reason when the run cannot produce a rig (no bone
// after the initialisation, every bone pruned).
bool runDecomposition(RiggingContext& context, std::string& error, KeptWork keptWork = KeptWork::On);

// True when every number the rig file would hold is finite; otherwise names
// the first offending item in where.
bool rigIsFinite(const RiggingContext& context, std::string& where);
