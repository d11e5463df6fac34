#include "skeleton/pruning.h"

#include <utility>

#include "weights/weight_update.h"

namespace {

// Vertices of the bone's candidate list whose weight on it is at least
// sigWeight (a NaN weight does not count).
int significantCount(const RiggingContext& context, int j)
{
    int count = 0;
    for (int v : context.boneVertices[j]) {
        if (v < 0 || v >= context.numVertices)
            throwSubscriptError();
        if (context.weights[v][j] >= context.sigWeight)
            ++count;
    }
    return count;
}

// Bone keep[k] becomes bone k, with its track and its weight column.
void renumberBones(RiggingContext& context, const std::vector<int>& keep)
{
    const std::size_t n = keep.size();
    for (std::size_t k = 0; k < n; ++k)
        if (std::size_t(keep[k]) != k)
            context.bones[k] = std::move(context.bones[keep[k]]);
    context.bones.resize(n);
    for (int v = 0; v < context.numVertices; ++v) {
        Vector& row = context.weights[v];
        for (std::size_t k = 0; k < n; ++k)
            row[k] = row[keep[k]];
        row.resize(n);
    }
    context.numBones = int(n);
}

} // namespace

bool pruneBones(RiggingContext& context, FitCache* cache)
{
    const int numBones = context.numBones;
    if (numBones < 0 || context.boneVertices.size() < std::size_t(numBones) ||
        context.bones.size() < std::size_t(numBones) || rowCount(context.weights) < std::size_t(context.numVertices))
        throwSubscriptError();

    std::vector<int> counts(std::size_t(numBones), 0);
    int maxCount = 0;
    for (int j = 0; j < numBones; ++j) {
        counts[j] = significantCount(context, j);
        *context.console << ' ' << (j + 1) << ':' << counts[j];
        if (counts[j] > maxCount)
            maxCount = counts[j];
    }

    double threshold = context.pruneScale * double(maxCount);
    if (threshold < 3.0)
        threshold = 3.0;
    std::vector<int> keep;
    keep.reserve(std::size_t(numBones));
    for (int j = 0; j < numBones; ++j)
        if (!(double(counts[j]) < threshold))
            keep.push_back(j);
    if (int(keep.size()) == numBones)
        return false;

    renumberBones(context, keep);
    if (context.numBones > 0) {
        selectCandidateBones(context, context.nnz, false, cache);
    } else {
        // No bone left to choose from: every candidate list is empty.
        context.boneVertices.clear();
        context.vertexBones.assign(std::size_t(context.numVertices), std::vector<int>());
    }
    return true;
}
