// The residuals of the whole blend, r_fv = x_fv − Σ w_vk·(R_kf·p_v + t_kf),
// a frame row at a time.
#pragma once

#include <vector>

#include "context/rigging_context.h"

// Every vertex's candidate pairs (bone, weight) in one compact run, per vertex
// in list order, with the rest positions and the transformations as they are
// when it is prepared. Every frame reads them again, and the dense weight rows
// would not stay in cache.
struct ResidualBlend {
    std::vector<int> first; // numVertices + 1 offsets into the pairs
    std::vector<int> bone;
    std::vector<double> weight;
    std::vector<double> rest; // p_v, 3 per vertex
    std::vector<double> columns; // the transformations in columnLayout, [frame][bone][16]
    std::size_t stride = 0;      // doubles per frame of columns
};

// Gathers the blend. Needs lists, weights, rest pose and bones at least as
// large as the counts (the caller checks them) and a sequence of numFrames x
// numVertices points.
void prepareBlend(const RiggingContext& context, ResidualBlend& blend);

// Writes the residuals of frame f (3·numVertices doubles) to row from the
// blend; each vertex's sum runs over its pairs in list order from 0.0.
void residualRow(const RiggingContext& context, const ResidualBlend& blend, int f, double* row);
