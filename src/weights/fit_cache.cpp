#include "weights/fit_cache.h"

#include <algorithm>
#include <cstring>

#include "context/rigging_context.h"

void syncFitCache(FitCache& cache, const RiggingContext& context, const std::vector<double>& flat)
{
    // Bitwise, so that a sign of zero or a NaN counts as a change like any other.
    const bool same = cache.numVertices == context.numVertices && cache.numFrames == context.numFrames &&
                      cache.numBones == context.numBones && cache.sequenceData == context.sequence.values.data() &&
                      cache.restPoseData == context.restPose.data() && cache.transforms.size() == flat.size() &&
                      (flat.empty() || std::memcmp(cache.transforms.data(), flat.data(), flat.size() * sizeof(double)) == 0);
    if (same)
        return;
    cache.transforms = flat;
    cache.numVertices = context.numVertices;
    cache.numFrames = context.numFrames;
    cache.numBones = context.numBones;
    cache.sequenceData = context.sequence.values.data();
    cache.restPoseData = context.restPose.data();
    // Drop the entries, keep the storage: no score is flagged and no vertex
    // holds a list, so nothing is read before it is written again.
    std::fill(cache.scored.begin(), cache.scored.end(), 0);
    if (cache.width > 0 && cache.lists.size() == std::size_t(context.numVertices) * (1 + cache.width))
        for (std::size_t v = 0; v < std::size_t(context.numVertices); ++v)
            cache.lists[v * (1 + cache.width)] = -1;
    else
        cache.width = 0;
}

void releaseBoneWork(FitCache& cache)
{
    std::vector<double>().swap(cache.transforms);
    std::vector<double>().swap(cache.scores);
    std::vector<unsigned char>().swap(cache.scored);
    std::vector<int>().swap(cache.lists);
    std::vector<double>().swap(cache.sums);
    cache.width = 0;
    cache.numVertices = -1; // ties to nothing: the next call starts afresh
}
