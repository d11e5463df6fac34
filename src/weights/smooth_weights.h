// Neighbour rigidity weights and the smoothed weight prior of a vertex.
#pragma once

#include "run/rigging_context.h"

// smoothWeights[v][k] = 1 / (rms edge-length change + smoothEpsilon·rest length)
// for the edge from v to neighbours[v][k].
void computeSmoothWeights(RiggingContext& context);

// out (numBones entries): rigidity-weighted sum of the neighbours' weights above
// smoothWeightMin, normalised when its total exceeds 1e-6.
void smoothedWeightVector(const RiggingContext& context, int v, Vector& out, bool nonZeroOnly);

// The neighbours' side of the prior in a compact form for the weight passes,
// which ask for every vertex's prior (nonZeroOnly) in turn: per vertex its
// candidate bones whose weight is above smoothWeightMin, with those weights,
// in list order. A pass that changes a vertex's list or weights refreshes its
// entry; the other vertices' weight rows and lists are not read again.
struct PriorTables {
    bool usable = false; // the weights have the shape the prior needs
    int width = 0;       // entries per vertex
    std::vector<int> count;       // per vertex
    std::vector<int> bone;        // [vertex][width]
    std::vector<double> weight;   // [vertex][width]
};

// Builds the entries of every vertex from the current lists and weights;
// width is at least the longest list and at least minWidth (the longest
// list a later refresh may bring).
void buildPriorTables(const RiggingContext& context, int minWidth, PriorTables& tables);

// Rebuilds vertex v's entry from its current list and weights.
void refreshPriorEntry(const RiggingContext& context, int v, PriorTables& tables);

// smoothedWeightVector(context, v, out, true), bit for bit, reading the
// neighbours' lists and weights from tables.
void smoothedPrior(const RiggingContext& context, const PriorTables& tables, int v, Vector& out);
