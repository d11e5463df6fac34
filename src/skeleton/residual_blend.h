// The residuals of the whole blend, r_fv = x_fv − Σ w_vk·(R_kf·p_v + t_kf),
// a frame row at a time, with the points moved four lanes at a time.
#pragma once

#include <vector>

#include "linalg/wide_lanes.h"
#include "run/rigging_context.h"

// Every vertex's candidate pairs (bone, weight) in one compact run, per vertex
// in list order, with the rest positions and the transformations as they are
// when it is prepared. Every frame reads them again, and the dense weight rows
// would not stay in cache.
struct ResidualBlend {
    std::vector<int> first; // numVertices + 1 offsets into the pairs
    std::vector<int> bone;
    std::vector<double> weight;
    std::vector<double> rest; // p_v, 3 per vertex
    std::vector<double> flat; // flattenBoneTransforms
    std::size_t stride = 0;   // doubles per frame of flat
};

// Gathers the blend and shapes residuals to numFrames x numVertices. Needs
// lists, weights, rest pose and bones at least as large as the counts (the
// caller checks them) and a sequence of numFrames x numVertices points.
void prepareBlend(RiggingContext& context, ResidualBlend& blend);

// Rewrites residual row f from the blend; each vertex's sum runs over its
// pairs in list order from 0.0.
void residualRow(RiggingContext& context, const ResidualBlend& blend, int f);

// R·p + t of a flattened transformation (transformFlat's layout) with lanes
// x, y, z (lane 3 unused): the columns of R and t as vectors, so that each
// lane is the row sum 0.0 + m0·p0 + m1·p1 + m2·p2, then + t, exactly as
// transformFlat forms it.
struct Columns {
    Quad c0, c1, c2, t;
};
__attribute__((always_inline)) inline Columns columnsOf(const double* m)
{
    Columns T;
    T.c0 = Quad{m[0], m[3], m[6], 0.0};
    T.c1 = Quad{m[1], m[4], m[7], 0.0};
    T.c2 = Quad{m[2], m[5], m[8], 0.0};
    T.t = Quad{m[9], m[10], m[11], 0.0};
    return T;
}
__attribute__((always_inline)) inline void movePoint(const Columns& T, const double* p, Quad& out)
{
    const Quad zero = {0.0, 0.0, 0.0, 0.0};
    Quad s = zero + T.c0 * p[0];
    s = s + T.c1 * p[1];
    s = s + T.c2 * p[2];
    out = s + T.t;
}

// Three doubles into lanes 0..2 (lane 3 zero), and lanes 0..2 back.
__attribute__((always_inline)) inline Quad load3(const double* p)
{
    const Quad q = {p[0], p[1], p[2], 0.0};
    return q;
}
__attribute__((always_inline)) inline void store3(double* p, const Quad& q)
{
    p[0] = q[0];
    p[1] = q[1];
    p[2] = q[2];
}
