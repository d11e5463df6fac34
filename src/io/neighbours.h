// One list of adjacent vertices per vertex, from the rest-pose triangles.
#pragma once

#include <vector>

#include "context/triangles.h"

// Replaces neighbours with n lists; every edge {a, b}, a ≠ b, is listed once at
// each end, in the order in which the triangles first introduce it (edges of
// a triangle t taken as (t0, t1), (t1, t2), (t2, t0)). An edge {a, a} of a
// degenerate triangle puts a into its own list twice. Indices must lie in
// 0 .. n−1; one outside raises std::out_of_range.
void buildNeighbours(int n, const Triangles& triangles, std::vector<std::vector<int>>& neighbours);
