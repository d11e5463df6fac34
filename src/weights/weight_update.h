// Candidate bones per vertex and the constrained per-vertex weight solve.
#pragma once

#include "run/rigging_context.h"

// Fills vertexBones (at most k per vertex, best score first) and boneVertices
// (its transpose, ascending). With restricted, only bones in contact with the
// vertex's dominant bone across the mesh are taken.
void selectCandidateBones(RiggingContext& context, int k, bool restricted);

// Solves every vertex's weights over its candidates: non-negative, summing to
// one, close to the neighbours' smoothed weights.
void solveWeights(RiggingContext& context, int k);
