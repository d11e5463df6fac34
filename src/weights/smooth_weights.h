// Neighbour rigidity weights and the smoothed weight prior of a vertex.
#pragma once

#include "run/rigging_context.h"

// smoothWeights[v][k] = 1 / (rms edge-length change + smoothEpsilon·rest length)
// for the edge from v to neighbours[v][k].
void computeSmoothWeights(RiggingContext& context);

// out (numBones entries): rigidity-weighted sum of the neighbours' weights above
// smoothWeightMin, normalised when its total exceeds 1e-6.
void smoothedWeightVector(const RiggingContext& context, int v, Vector& out, bool nonZeroOnly);
