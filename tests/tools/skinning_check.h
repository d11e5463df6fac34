// Comparison of animated positions with a rig's linear blend skinning, for
// the tests of the example generator and of the glTF export.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "formats/obj_mesh.h"
#include "formats/rig_skinning.h"
#include "io/sequence_file.h"

// Diagonal of the box around the first `count` points (x, y, z each).
inline double boxDiagonal(const std::vector<double>& xyz, std::size_t count)
{
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (std::size_t i = 0; i < count * 3; ++i) {
        lo[i % 3] = std::min(lo[i % 3], xyz[i]);
        hi[i % 3] = std::max(hi[i % 3], xyz[i]);
    }
    return std::hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
}

// Frame f of a sequence (x, y, z per vertex).
inline std::vector<double> frameOf(const PointTable& sequence, int f)
{
    const auto begin = sequence.values.begin() + long(f) * sequence.columns * 3;
    return std::vector<double>(begin, begin + sequence.columns * 3);
}

// The larger distance of d and e; a NaN stays.
inline double worseDistance(double d, double e) { return d == d && !(e <= d) ? e : d; }

// Largest distance, over every frame and vertex, between positions(f) (x, y,
// z per vertex) and the rig's skinning of the rest pose, relative to the rest
// pose's box diagonal.
template <typename Positions>
double skinningError(const ObjMesh& rest, const RigData& rig, Positions positions)
{
    double worst = 0.0;
    for (int f = 0; f < rig.numFrames; ++f) {
        const std::vector<double> x = positions(f);
        for (std::size_t v = 0; v < std::size_t(rig.numVertices); ++v) {
            double e[3];
            skinPoint(rig, f, int(v), &rest.positions[v * 3], e);
            worst = worseDistance(worst, std::hypot(x.at(v * 3) - e[0], x.at(v * 3 + 1) - e[1], x.at(v * 3 + 2) - e[2]));
        }
    }
    return worst / boxDiagonal(rest.positions, rest.positions.size() / 3);
}
