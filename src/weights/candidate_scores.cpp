#include "weights/candidate_scores.h"

#include "linalg/tile_errors.h"

namespace {

// Bone j's transformations with every entry four times (spreadTransforms),
// built the first time the call scores the bone.
const double* spreadBone(const RiggingContext& context, int j, CandidateScores& scores)
{
    const int numFrames = context.numFrames;
    // Room for every bone at the first use (most calls score nothing).
    if (!scores.spread)
        scores.spread.reset(new double[std::size_t(context.numBones) * numFrames * 48]);
    double* out = scores.spread.get() + std::size_t(j) * numFrames * 48;
    if (!scores.spreadReady[j]) {
        spreadTransforms(scores.flat.data() + std::size_t(j) * 12, context.bones.size() * 12, numFrames, out);
        scores.spreadReady[j] = 1;
    }
    return out;
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

void scoreTile(const RiggingContext& context, int first, const std::uint64_t* wanted, CandidateScores& scores)
{
    const int numBones = context.numBones, numFrames = context.numFrames;
    const int count = context.numVertices - first < kVertexTile ? context.numVertices - first : kVertexTile;
    unsigned char* scored = scores.scored->data() + std::size_t(first / kVertexTile) * numBones;
    bool gathered = false;
    for (int j = 0; j < numBones; ++j) {
        if (!((wanted[j / 64] >> (j % 64)) & 1) || scored[j])
            continue;
        if (!gathered) {
            gatherRest(context, first, count, scores.rest);
            gathered = true;
        }
        tileErrors(spreadBone(context, j, scores), numFrames, scores.rest, tileBlock(scores.tiles, numFrames, first),
                   kNoBound.data(), scores.tileScores);
        for (int i = 0; i < count; ++i)
            (*scores.scores)[std::size_t(first + i) * numBones + j] = scores.tileScores[i];
        scored[j] = 1;
    }
}
