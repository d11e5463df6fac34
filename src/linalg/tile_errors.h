// Squared fit errors of a tile of vertices under one bone: for each vertex v
// of the tile, E = Σ_f |R_f·p_v + t_f − x_fv|², summed frame by frame from 0.0.
// The initialisation assigns vertices to bones with it, and the weight passes
// score candidate bones with it.
#pragma once

#include <array>
#include <limits>

#include "linalg/vertex_tiles.h"

// Bounds that never stop tileErrors.
constexpr std::array<double, kVertexTile> noBounds()
{
    std::array<double, kVertexTile> bounds{};
    for (double& b : bounds)
        b = std::numeric_limits<double>::infinity();
    return bounds;
}
inline constexpr std::array<double, kVertexTile> kNoBound = noBounds();

// E of the kVertexTile vertices of one tile into out[kVertexTile]. m holds the
// bone's transformations in spreadTransforms' layout (48 doubles per frame),
// rest the tile's rest points ([axis][lane]), block the tile's positions
// ([frame][axis][lane], as tileBlock gives it). A group of lanes whose partial
// sums all exceed their bound[lane] is left unfinished and gets +infinity:
// its full sums would exceed the bounds too. Lanes past the last vertex take
// whatever their zeros give.
void tileErrors(const double* m, int numFrames, const double* rest, const double* block, const double* bound,
                double* out);
