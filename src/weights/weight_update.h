// Candidate bones per vertex and the constrained per-vertex weight solve.
#pragma once

#include "run/rigging_context.h"

// Fills vertexBones (at most k per vertex, best score first) and boneVertices
// (its transpose, ascending). With restricted, only bones in contact with the
// vertex's dominant bone across the mesh are taken.
void selectCandidateBones(RiggingContext& context, int k, bool restricted);

// Start of one vertex's solve: its current weights (weightRow) on its
// candidates (bones), scaled to sum to one when their sum exceeds 0.001, and
// otherwise (also when the sum is not a number) 1/n each. start gets n entries.
void solveStartPoint(const Vector& weightRow, const std::vector<int>& bones, Vector& start);

// Solves every vertex's weights over its candidates: non-negative, summing to
// one, close to the neighbours' smoothed weights. Vertices are solved in order,
// so later vertices see the new weights of earlier neighbours. Every list of
// vertexBones must hold at least one bone; a vertex without candidates gets an
// all-zero row.
void solveWeights(RiggingContext& context, int k);
