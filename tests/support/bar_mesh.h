// Small synthetic meshes for tests: a square bar along x, made of slices of
// four vertices joined by the triangles of the four side faces.
#pragma once

#include <cmath>
#include <vector>

#include "context/rigging_context.h"
#include "io/neighbours.h"

namespace testmesh {

// Rest pose and triangles of a bar with `slices` slices starting at x0.
inline void makeBar(int slices, double x0, Matrix& rest, Triangles& triangles)
{
    const int base = int(rest.size());
    const double corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int s = 0; s < slices; ++s)
        for (int c = 0; c < 4; ++c)
            rest.push_back(makeVector3(x0 + s, corner[c][0], corner[c][1]));
    for (int s = 0; s + 1 < slices; ++s)
        for (int c = 0; c < 4; ++c) {
            int a = base + s * 4 + c, b = base + s * 4 + (c + 1) % 4;
            int a2 = a + 4, b2 = b + 4;
            triangles.push_back({a, b, b2});
            triangles.push_back({a, b2, a2});
        }
}

// Fills a context's rest pose, neighbours and sequence. partOf[v] picks the
// motion of vertex v: part 0 translates, part p > 0 also bends about x = pivotX.
inline void animateParts(RiggingContext& context, const Triangles& triangles, const std::vector<int>& partOf,
                         int frames, double pivotX)
{
    const int n = int(context.restPose.size());
    buildNeighbours(n, triangles, context.neighbours);
    resizePointTable(context.sequence, frames, n);
    for (int f = 0; f < frames; ++f)
        for (int v = 0; v < n; ++v) {
            // About the z axis through (pivotX, 0.5), then shifted by t·(1, 0.5, 0.2).
            const double t = 0.1 * f, angle = 0.05 * f + 0.15 * f * partOf[v], c = std::cos(angle), s = std::sin(angle);
            const Vector& p = context.restPose[v];
            const double x = p[0] - pivotX, y = p[1] - 0.5;
            context.sequence.set(f, v, makeVector3(c * x - s * y + pivotX + t, s * x + c * y + 0.5 + 0.5 * t, p[2] + 0.2 * t));
        }
    context.numVertices = n;
    context.numFrames = frames;
}

} // namespace testmesh
