// Work of the weight passes that depends only on the bone transformations,
// the rest pose and the sequence: the fit errors of the candidate scoring and
// the fit part of each vertex's normal equations. No weight pass changes the
// bones, so all passes of one repetition share this work; the candidate
// choice after pruning and the first pass that follows it share it too.
#pragma once

#include <vector>

#include "weights/prior_tables.h"

struct RiggingContext;

// Whoever hands one to the weight passes promises that the rest pose, the
// sequence, the neighbours and their rigidity weights do not change while it
// is in use, and that only the weight passes and the candidate choice change
// the weights and the candidate lists (the driver does for a run).
struct FitCache {
    // What the entries belong to: the transformations, bit for bit, in the
    // layout of flattenBoneTransforms, the counts and the input containers.
    std::vector<double> transforms;
    int numVertices = -1;
    int numFrames = -1;
    int numBones = -1;
    const double* sequenceData = nullptr;
    const void* restPoseData = nullptr;

    // Candidate scoring: fit error of every vertex under every bone,
    // [vertex][numBones], valid where the flag of the vertex's tile is set,
    // [tile][numBones].
    std::vector<double> scores;
    std::vector<unsigned char> scored;

    // Weight solve: per vertex, the candidate list its sums were built for
    // ([vertex][1 + width]: the length, then the bones; length −1 when there
    // are none) and the fit rows' share of AᵀA and Aᵀy in list order
    // ([vertex][width·width + width]).
    int width = 0;
    std::vector<int> lists;
    std::vector<double> sums;

    // The neighbour prior's tables as the last restricted candidate choice or
    // weight solve left them (prior.kept), for the next one. A candidate choice
    // over all bones (after pruning) rebuilds every list and drops them.
    PriorTables prior;
};

// Ties the cache to the current bones (flat, from flattenBoneTransforms over
// context.bones) and counts: the entries stay when those are unchanged and are
// dropped otherwise.
void syncFitCache(FitCache& cache, const RiggingContext& context, const std::vector<double>& flat);

// Frees the work tied to the bones (everything but the prior's tables): the
// bone update is about to change them, and while it runs with its residuals
// this storage would only add to the run's peak memory.
void releaseBoneWork(FitCache& cache);
