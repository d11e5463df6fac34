// The fit rows' share of a vertex's normal equations: for its candidate
// bones b_0 .. b_(n−1), the sums over the rows 3f+c (in row order, from 0.0)
// of a_i·a_j and of a_i·x, where a_i is the rest point moved by bone b_i in
// frame f. They depend only on the bones, the rest pose and the sequence.
#pragma once

#include <vector>

#include "context/rigging_context.h"
#include "weights/fit_cache.h"

// What every vertex's sums read, prepared once per weight pass.
struct FitSumsInputs {
    std::vector<double> flat;       // bone transformations, [frame][bone][12]
    const double* tiles = nullptr;  // the tiled sequence (tiledSequence)
    std::vector<double> localTiles; // its copy when the context has none
};

// Work buffers of one thread of a weight pass, sized once by sizeFitSums.
struct FitSumsWork {
    std::vector<double> packed; // four bones' transformations, [frame][12][lane]
    int packedBones[4] = {-1, -1, -1, -1};
    std::vector<double> moved;  // the rest point under each candidate, [candidate][3]
    std::vector<double> gram;   // n x n, list order (the lower triangle is set)
    std::vector<double> rhs;    // n
};

// Flattens the bones and finds the tiled sequence.
void prepareFitSums(const RiggingContext& context, FitSumsInputs& inputs);

// Sizes the buffers for lists of up to longest bones.
void sizeFitSums(const RiggingContext& context, int longest, FitSumsWork& work);

// Makes room in the cache for lists of up to longest bones (dropping what it
// holds when it had less).
void widenFitSums(FitCache& cache, const RiggingContext& context, int longest);

// Whether the cache holds vertex v's sums for this very list.
bool fitSumsKept(const FitCache& cache, int v, const std::vector<int>& list);

// Vertex v's sums for list into work.gram and work.rhs: from the cache (when
// given, tied to these bones by syncFitCache) when it holds them for this
// very list, computed otherwise, and then kept in it (in v's own entry only).
void fitSums(const RiggingContext& context, const FitSumsInputs& inputs, FitCache* cache, int v,
             const std::vector<int>& list, FitSumsWork& work);
