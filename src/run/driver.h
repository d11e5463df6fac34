// The decomposition: initialisation, stages without and with skeleton.
#pragma once

#include <string>

#include "run/rigging_context.h"

void computeBoundingBox(RiggingContext& context);
double computeFitError(const RiggingContext& context);
double computeJointError(const RiggingContext& context);

enum class RepsResult { Completed, BoneRemoved, NoBoneLeft };
RepsResult runReps(RiggingContext& context, int k, int n, double lambda);

// Returns false with a reason when the run cannot produce a rig (no bone
// after the initialisation, every bone pruned).
bool runDecomposition(RiggingContext& context, std::string& error);

// True when every number the rig file would hold is finite; otherwise names
// the first offending item in where.
bool rigIsFinite(const RiggingContext& context, std::string& where);
