// Degenerate but readable inputs for whole-run tests, all derived from a
// small bar that bends in two parts (40 vertices, 6 frames).
#pragma once

#include "support/bar_mesh.h"

namespace degenerate {

constexpr int kSlices = 10;
constexpr int kFrames = 6;

// The bar with z scaled by thickness: the first half moves rigidly, the
// second half also bends about the middle (the bend keeps z).
inline void bar(RiggingContext& context, Triangles& triangles, double thickness)
{
    testmesh::makeBar(kSlices, 0, context.restPose, triangles);
    for (Vector& p : context.restPose)
        p[2] *= thickness;
    std::vector<int> partOf(context.restPose.size());
    for (std::size_t v = 0; v < partOf.size(); ++v)
        partOf[v] = v < partOf.size() / 2 ? 0 : 1;
    testmesh::animateParts(context, triangles, partOf, kFrames, kSlices / 2.0);
}

// The well-behaved starting point.
inline void bentBar(RiggingContext& context, Triangles& triangles) { bar(context, triangles, 1.0); }

// Every vertex at one point, in the rest pose and in every frame (the point moves).
inline void onePoint(RiggingContext& context, Triangles& triangles)
{
    bentBar(context, triangles);
    for (Vector& p : context.restPose)
        p = makeVector3(0.5, 0.5, 0.5);
    for (int f = 0; f < context.sequence.rows; ++f)
        for (int v = 0; v < context.sequence.columns; ++v)
            context.sequence.set(f, v, makeVector3(0.5 + 0.1 * f, 0.5, 0.5));
}

// A plane grid of 10 x 5 vertices with z = 0 in the rest pose and in every
// frame; one half turns in the plane.
inline void flatGrid(RiggingContext& context, Triangles& triangles)
{
    const int columns = 10, rows = 5;
    for (int i = 0; i < columns; ++i)
        for (int j = 0; j < rows; ++j)
            context.restPose.push_back(makeVector3(i, j, 0));
    for (int i = 0; i + 1 < columns; ++i)
        for (int j = 0; j + 1 < rows; ++j) {
            const int a = i * rows + j, b = a + rows;
            triangles.push_back({a, b, b + 1});
            triangles.push_back({a, b + 1, a + 1});
        }
    std::vector<int> partOf(context.restPose.size());
    for (std::size_t v = 0; v < partOf.size(); ++v)
        partOf[v] = context.restPose[v][0] < columns / 2 ? 0 : 1;
    testmesh::animateParts(context, triangles, partOf, kFrames, columns / 2.0);
    for (int f = 0; f < context.sequence.rows; ++f)
        for (int v = 0; v < context.sequence.columns; ++v)
            context.sequence.point(f, v)[2] = 0.0;
}

// The bent bar squashed to a strip 1e-7 thick: every group's covariance
// has a third singular value lost in rounding.
inline void thinStrip(RiggingContext& context, Triangles& triangles) { bar(context, triangles, 1e-7); }

// Every frame equal to the rest pose: nothing moves.
inline void motionless(RiggingContext& context, Triangles& triangles)
{
    bentBar(context, triangles);
    for (int f = 0; f < context.sequence.rows; ++f)
        for (int v = 0; v < context.sequence.columns; ++v)
            context.sequence.set(f, v, context.restPose[v]);
}

// One vertex far away (1e6 along x) in one frame.
inline void jumpingVertex(RiggingContext& context, Triangles& triangles)
{
    bentBar(context, triangles);
    context.sequence.point(3, 17)[0] += 1e6;
}

// The bent bar scaled by `scale`, rest pose and frames.
inline void scaled(RiggingContext& context, Triangles& triangles, double scale)
{
    bentBar(context, triangles);
    for (Vector& p : context.restPose)
        p = makeVector3(p[0] * scale, p[1] * scale, p[2] * scale);
    for (double& x : context.sequence.values)
        x *= scale;
}

// A triangular prism, 6 vertices and 8 triangles, moving rigidly.
inline void prism(RiggingContext& context, Triangles& triangles)
{
    const double corners[6][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 2}, {1, 0, 2}, {0, 1, 2}};
    for (const auto& c : corners)
        context.restPose.push_back(makeVector3(c[0], c[1], c[2]));
    triangles = {{0, 2, 1}, {3, 4, 5}, {0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4}, {2, 0, 3}, {2, 3, 5}};
    testmesh::animateParts(context, triangles, std::vector<int>(6, 0), kFrames, 0);
}

// The bent bar with triangles that use one vertex twice or three times.
inline void repeatedVertices(RiggingContext& context, Triangles& triangles)
{
    bentBar(context, triangles);
    triangles.push_back({0, 0, 1});
    triangles.push_back({5, 5, 5});
    triangles.push_back({21, 22, 21});
    buildNeighbours(int(context.restPose.size()), triangles, context.neighbours);
}

// The bent bar with one more vertex, below the first slice, that no
// triangle uses; it moves with the first half.
inline void lonelyVertex(RiggingContext& context, Triangles& triangles)
{
    bentBar(context, triangles);
    context.restPose.push_back(makeVector3(0.5, 0.5, -1.0));
    std::vector<int> partOf(context.restPose.size());
    for (std::size_t v = 0; v + 1 < partOf.size(); ++v)
        partOf[v] = v < (partOf.size() - 1) / 2 ? 0 : 1;
    testmesh::animateParts(context, triangles, partOf, kFrames, kSlices / 2.0);
}

} // namespace degenerate
