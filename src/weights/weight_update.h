// Candidate bones per vertex and the constrained per-vertex weight solve.
#pragma once

#include "context/rigging_context.h"
#include "weights/fit_cache.h"

// Fills vertexBones (at most k per vertex, best score first) and boneVertices
// (its transpose, ascending). With restricted, only bones in contact with the
// vertex's dominant bone across the mesh are taken. cache, when given, keeps
// the fit errors for the next call with the same bones (see FitCache).
void selectCandidateBones(RiggingContext& context, int k, bool restricted, FitCache* cache);

// Start of one vertex's solve: its current weights (weightRow) on its
// candidates (bones), scaled to sum to one when their sum exceeds 0.001, and
// otherwise (also when the sum is not a number) 1/n each. start gets n entries.
void solveStartPoint(const Vector& weightRow, const std::vector<int>& bones, Vector& start);

// Solves every vertex's weights over its candidates: non-negative, summing to
// one, close to the neighbours' smoothed weights. Vertices are solved in order,
// so later vertices see the new weights of earlier neighbours. Every list of
// vertexBones must hold at least one bone; a vertex without candidates gets an
// all-zero row. cache, when given, keeps each vertex's fit sums for the next
// call with the same bones and list.
void solveWeights(RiggingContext& context, int k, FitCache* cache);
