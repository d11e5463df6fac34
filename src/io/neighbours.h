// One list of adjacent vertices per vertex, from the rest-pose triangles.
#pragma once

#include <vector>

#include "run/rigging_context.h"

// Replaces neighbours with n lists; every edge {a, b}, a ≠ b, is listed once at
// each end, in the order in which the triangles first introduce it. Indices
// must lie in 0 .. n−1.
void buildNeighbours(int n, const Triangles& triangles, std::vector<std::vector<int>>& neighbours);
