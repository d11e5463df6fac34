// The fit errors of the candidate choice: E(v, j), the squared error of
// vertex v under bone j summed over the frames in order, scored a tile of
// vertices at a time and only for the bones a tile may take.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "context/rigging_context.h"
#include "linalg/vertex_tiles.h"
#include "weights/bone_contact.h"
#include "weights/fit_cache.h"

struct ThreadPool;

struct CandidateScores {
    std::vector<double> flat;         // bone transformations, [frame][bone][12]
    const double* tiles = nullptr;    // the tiled sequence (tiledSequence)
    std::vector<double> localTiles;   // its copy when the context has none
    std::unique_ptr<double[]> spread; // per bone, each entry four times, [bone][frame][12][4]
    std::vector<unsigned char> spreadReady;
    // E(v, j), [vertex][bone], valid where the flag of v's tile is set,
    // [tile][bone]: the cache's when one is given, otherwise own.
    std::vector<double>* scores = nullptr;
    std::vector<unsigned char>* scored = nullptr;
    std::vector<double> ownScores;
    std::vector<unsigned char> ownScored;
};

// Flattens the bones, ties cache (when given) to them and sizes the tables.
void prepareScores(const RiggingContext& context, FitCache* cache, CandidateScores& scores);

// Makes sure the errors of every tile hold values for the bones that the
// tile's vertices may take: all bones (contact null) or those in contact with
// the dominant bone of one of them. The threads of pool (or null) share the
// tiles out.
void scoreTiles(const RiggingContext& context, const BoneContact* contact, ThreadPool* pool, CandidateScores& scores);

// Vertex v's errors, one per bone (valid for the bones its tile was scored for).
inline const double* vertexScores(const RiggingContext& context, const CandidateScores& scores, int v)
{
    return scores.scores->data() + std::size_t(v) * context.numBones;
}
