// The fit errors of the candidate choice: E(v, j), the squared error of
// vertex v under bone j summed over the frames in order, scored a tile of
// vertices at a time and only for the bones a tile may take.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "context/rigging_context.h"
#include "linalg/vertex_tiles.h"
#include "weights/fit_cache.h"

struct CandidateScores {
    std::vector<double> flat;         // bone transformations, [frame][bone][12]
    const double* tiles = nullptr;    // the tiled sequence (tiledSequence)
    std::vector<double> localTiles;   // its copy when the context has none
    std::unique_ptr<double[]> spread; // per bone, each entry four times, [bone][frame][12][4]
    std::vector<unsigned char> spreadReady;
    double rest[3 * kVertexTile];     // the tile's rest points, [axis][lane]
    double tileScores[kVertexTile];   // one bone's errors over the tile
    // E(v, j), [vertex][bone], valid where the flag of v's tile is set,
    // [tile][bone]: the cache's when one is given, otherwise own.
    std::vector<double>* scores = nullptr;
    std::vector<unsigned char>* scored = nullptr;
    std::vector<double> ownScores;
    std::vector<unsigned char> ownScored;
};

// Flattens the bones, ties cache (when given) to them and sizes the tables.
void prepareScores(const RiggingContext& context, FitCache* cache, CandidateScores& scores);

// Makes sure the errors of the tile starting at vertex first hold values for
// every bone in wanted (a bit set, bone j at bit j % 64 of word j / 64),
// scoring the ones that do not.
void scoreTile(const RiggingContext& context, int first, const std::uint64_t* wanted, CandidateScores& scores);

// Vertex v's errors, one per bone (valid for the bones its tile was scored for).
inline const double* vertexScores(const RiggingContext& context, const CandidateScores& scores, int v)
{
    return scores.scores->data() + std::size_t(v) * context.numBones;
}
