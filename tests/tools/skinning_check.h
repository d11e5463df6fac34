// Comparison of animated positions with a rig's linear blend skinning, for
// the tests of the example generator and of the glTF export.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "formats/obj_mesh.h"
#include "formats/rig_text.h"

// Largest distance, over every frame and vertex, between positions(f) (x, y,
// z per vertex) and the rig's skinning of the rest pose, relative to the rest
// pose's box diagonal.
template <typename Positions>
double skinningError(const ObjMesh& rest, const RigData& rig, Positions positions)
{
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300}, worst = 0.0;
    for (std::size_t i = 0; i < rest.positions.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], rest.positions[i]);
        hi[i % 3] = std::max(hi[i % 3], rest.positions[i]);
    }
    for (int f = 0; f < rig.numFrames; ++f) {
        const std::vector<double> x = positions(f);
        for (std::size_t v = 0; v < std::size_t(rig.numVertices); ++v) {
            double e[3];
            skinPoint(rig, f, int(v), &rest.positions[v * 3], e);
            const double d = std::hypot(x.at(v * 3) - e[0], x.at(v * 3 + 1) - e[1], x.at(v * 3 + 2) - e[2]);
            worst = worst == worst && !(d <= worst) ? d : worst; // a NaN stays
        }
    }
    return worst / std::hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
}
