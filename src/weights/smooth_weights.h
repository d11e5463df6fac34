// Neighbour rigidity weights and the smoothed weight prior of a vertex.
#pragma once

#include "context/rigging_context.h"
#include "weights/prior_tables.h"

// smoothWeights[v][k] = 1 / (rms edge-length change + smoothEpsilon·rest length)
// for the edge from v to neighbours[v][k].
void computeSmoothWeights(RiggingContext& context);

// out (numBones entries): rigidity-weighted sum of the neighbours' weights above
// smoothWeightMin, normalised when its total exceeds 1e-6.
void smoothedWeightVector(const RiggingContext& context, int v, Vector& out, bool nonZeroOnly);

// The prior for the weight passes (nonZeroOnly) from PriorTables: a pass that
// changes a vertex's list or weights updates its entry, so the other
// vertices' weight rows and lists are not read again.

// Builds the entries of every vertex from the current lists and weights
// (and the neighbour runs, unless they are there); width is at least the
// longest list and at least minWidth (the longest list a later update may
// bring).
void buildPriorTables(const RiggingContext& context, int minWidth, PriorTables& tables);

// Whether tables kept from the last weight pass (tables.kept)
// still fit the context's shape and lists of up to k bones.
bool priorTablesCurrent(const RiggingContext& context, int k, const PriorTables& tables);

// Vertex v's entry after its list was replaced (its weights unchanged): from
// the old entry when the row is known to be zero outside it, otherwise from
// the weight row.
void refreshPriorEntry(const RiggingContext& context, int v, PriorTables& tables);

// Vertex v's entry after its weight row was written: non-zero only on its
// list, +0.0 everywhere else.
void setPriorEntry(PriorTables& tables, int v, const std::vector<int>& list, const Vector& row);

// smoothedWeightVector(context, v, out, true), bit for bit, reading the
// neighbours' lists and weights from tables.
void smoothedPrior(const RiggingContext& context, const PriorTables& tables, int v, Vector& out);
