#include "weights/candidate_scores.h"

#include "linalg/tile_errors.h"
#include "parallel/parallel_for.h"

namespace {

// Bone j's transformations with every entry four times (spreadTransforms),
// built the first time the call needs the bone.
void spreadBone(const RiggingContext& context, int j, CandidateScores& scores)
{
    const int numFrames = context.numFrames;
    // Room for every bone at the first use (most calls score nothing).
    if (!scores.spread)
        scores.spread.reset(new double[std::size_t(context.numBones) * numFrames * 48]);
    if (!scores.spreadReady[j]) {
        spreadTransforms(scores.flat.data() + std::size_t(j) * 12, context.bones.size() * 12, numFrames,
                         scores.spread.get() + std::size_t(j) * numFrames * 48);
        scores.spreadReady[j] = 1;
    }
}

// Rest points of vertices first .. first+count−1; the lanes past count hold zeros.
void gatherRest(const RiggingContext& context, int first, int count, double* rest)
{
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < kVertexTile; ++i)
            rest[c * kVertexTile + i] = i < count ? context.restPose[first + i][c] : 0.0;
}

} // namespace

void prepareScores(const RiggingContext& context, FitCache* cache, CandidateScores& scores)
{
    const int numVertices = context.numVertices, numBones = context.numBones;
    flattenBoneTransforms(context.bones, context.numFrames, scores.flat);
    // Fit errors depend on nothing that a weight pass changes: with a cache
    // they are kept for the next call with the same bones.
    if (cache)
        syncFitCache(*cache, context, scores.flat);
    scores.scores = cache ? &cache->scores : &scores.ownScores;
    scores.scored = cache ? &cache->scored : &scores.ownScored;
    const int numTiles = (numVertices + kVertexTile - 1) / kVertexTile;
    // Scores are read only where their tile's flag is set.
    if (scores.scores->size() != std::size_t(numVertices) * numBones ||
        scores.scored->size() != std::size_t(numTiles) * numBones) {
        scores.scores->resize(std::size_t(numVertices) * numBones);
        scores.scored->assign(std::size_t(numTiles) * numBones, 0);
    }
    scores.spreadReady.assign(std::size_t(numBones), 0);
    scores.tiles = tiledSequence(context, scores.localTiles);
}

namespace {

// The bones that any vertex of the tile starting at first may take, into
// wanted (words 64-bit words).
void tileWanted(const RiggingContext& context, const BoneContact* contact, int first, int words, std::uint64_t* wanted)
{
    const int end = context.numVertices - first < kVertexTile ? context.numVertices : first + kVertexTile;
    for (int w = 0; w < words; ++w)
        wanted[w] = contact ? 0 : ~std::uint64_t(0);
    for (int u = first; contact && u < end; ++u) {
        const std::uint64_t* row = contact->row(contact->dominantBone[u]);
        for (int w = 0; w < words; ++w)
            wanted[w] |= row[w];
    }
}

// Whether bone j is in the set.
bool has(const std::uint64_t* set, int j) { return (set[j / 64] >> (j % 64)) & 1; }

// Scores the bones of wanted that the tile starting at first lacks; their
// transformations are spread already.
void scoreTile(const RiggingContext& context, int first, const std::uint64_t* wanted, const CandidateScores& scores)
{
    const int numBones = context.numBones, numFrames = context.numFrames;
    const int count = context.numVertices - first < kVertexTile ? context.numVertices - first : kVertexTile;
    unsigned char* scored = scores.scored->data() + std::size_t(first / kVertexTile) * numBones;
    double rest[3 * kVertexTile], errors[kVertexTile];
    gatherRest(context, first, count, rest);
    for (int j = 0; j < numBones; ++j) {
        if (!has(wanted, j) || scored[j])
            continue;
        tileErrors(scores.spread.get() + std::size_t(j) * numFrames * 48, numFrames, rest,
                   tileBlock(scores.tiles, numFrames, first), kNoBound.data(), errors);
        for (int i = 0; i < count; ++i)
            (*scores.scores)[std::size_t(first + i) * numBones + j] = errors[i];
        scored[j] = 1;
    }
}

} // namespace

void scoreTiles(const RiggingContext& context, const BoneContact* contact, ThreadPool* pool, CandidateScores& scores)
{
    const int numBones = context.numBones, words = (numBones + 63) / 64;
    const int numTiles = (context.numVertices + kVertexTile - 1) / kVertexTile;
    // Which bones each tile may take, and the tiles that lack some of them.
    std::vector<std::uint64_t> wanted(std::size_t(numTiles) * words);
    std::vector<int> lacking;
    for (int tile = 0; tile < numTiles; ++tile) {
        std::uint64_t* set = wanted.data() + std::size_t(tile) * words;
        tileWanted(context, contact, tile * kVertexTile, words, set);
        const unsigned char* scored = scores.scored->data() + std::size_t(tile) * numBones;
        bool lacks = false;
        for (int j = 0; j < numBones; ++j)
            if (has(set, j) && !scored[j]) {
                spreadBone(context, j, scores);
                lacks = true;
            }
        if (lacks)
            lacking.push_back(tile);
    }
    // Each tile's errors are its own: the threads share the tiles out.
    parallelChunks(pool, int(lacking.size()), 4, [&](int first, int last, int) {
        for (int i = first; i < last; ++i) {
            const int tile = lacking[std::size_t(i)];
            scoreTile(context, tile * kVertexTile, wanted.data() + std::size_t(tile) * words, scores);
        }
    });
}
