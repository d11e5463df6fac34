// The sequence regrouped by tiles of consecutive vertices, so that loops that
// walk vertices in order and frames within each vertex stream their data
// instead of reading one point from every frame row.
#pragma once

#include <cstddef>
#include <vector>

#include "linalg/dense.h"

// Vertices per tile: four vectors of four doubles.
constexpr int kVertexTile = 16;

// tiles = [tile][frame][axis][lane]: lane i of tile t is vertex t·kVertexTile + i,
// lanes past the last vertex hold zeros. Needs sequence to hold at least
// numFrames x numVertices points.
void tileTrajectories(const PointTable& sequence, int numFrames, int numVertices, std::vector<double>& tiles);

// The block of the tile holding vertex v, and vertex v's x coordinate in
// frame 0 within it (axes kVertexTile, frames 3·kVertexTile doubles apart).
inline const double* tileBlock(const double* tiles, int numFrames, int v)
{
    return tiles + std::size_t(v / kVertexTile) * numFrames * 3 * kVertexTile;
}
inline const double* tiledTrajectory(const double* tiles, int numFrames, int v)
{
    return tileBlock(tiles, numFrames, v) + v % kVertexTile;
}

// One bone's transformations for the tile kernels, which multiply four
// vertices by one entry at a time: every entry four times, 48 doubles per
// frame (entry c of frame f at [f][c][0..3]). m points at the bone's frame-0
// transformation in flattenBoneTransforms' layout, frames stride doubles apart.
void spreadTransforms(const double* m, std::size_t stride, int numFrames, double* out);
