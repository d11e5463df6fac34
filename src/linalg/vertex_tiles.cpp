#include "linalg/vertex_tiles.h"

void tileTrajectories(const PointTable& sequence, int numFrames, int numVertices, std::vector<double>& tiles)
{
    if (numFrames < 0 || numVertices < 0 || sequence.rows < numFrames || sequence.columns < numVertices)
        throwSubscriptError();
    const int numTiles = (numVertices + kVertexTile - 1) / kVertexTile;
    tiles.assign(std::size_t(numTiles) * numFrames * 3 * kVertexTile, 0.0);
    for (int f = 0; f < numFrames; ++f) {
        const double* x = sequence.point(f, 0);
        for (int v = 0; v < numVertices; ++v) {
            double* out = tiles.data() + (std::size_t(v / kVertexTile) * numFrames + f) * 3 * kVertexTile + v % kVertexTile;
            out[0] = x[3 * v];
            out[kVertexTile] = x[3 * v + 1];
            out[2 * kVertexTile] = x[3 * v + 2];
        }
    }
}

void spreadTransforms(const double* m, std::size_t stride, int numFrames, double* out)
{
    for (int f = 0; f < numFrames; ++f, m += stride)
        for (int c = 0; c < 12; ++c)
            for (int l = 0; l < 4; ++l)
                out[(std::size_t(f) * 12 + c) * 4 + l] = m[c];
}
