#include "weights/fit_cache.h"

#include <cstring>

#include "linalg/vertex_tiles.h"
#include "run/rigging_context.h"


bool syncFitCache(RiggingContext& context, const std::vector<double>& flat)
{
    FitCache& cache = context.fitCache;
    if (!cache.enabled)
        return false;
    // Bitwise, so that a sign of zero or a NaN counts as a change like any other.
    const bool same = cache.numVertices == context.numVertices && cache.numFrames == context.numFrames &&
                      cache.numBones == context.numBones && cache.sequenceData == context.sequence.values.data() &&
                      cache.restPoseData == context.restPose.data() && cache.transforms.size() == flat.size() &&
                      (flat.empty() || std::memcmp(cache.transforms.data(), flat.data(), flat.size() * sizeof(double)) == 0);
    if (same)
        return true;
    const bool sameSequence = cache.numVertices == context.numVertices && cache.numFrames == context.numFrames &&
                              cache.sequenceData == context.sequence.values.data();
    if (!sameSequence)
        tileTrajectories(context.sequence, context.numFrames, context.numVertices, cache.tiles);
    cache.transforms = flat;
    cache.numVertices = context.numVertices;
    cache.numFrames = context.numFrames;
    cache.numBones = context.numBones;
    cache.sequenceData = context.sequence.values.data();
    cache.restPoseData = context.restPose.data();
    cache.scores.clear();
    cache.scored.clear();
    cache.width = 0;
    cache.lists.clear();
    cache.sums.clear();
    return true;
}
