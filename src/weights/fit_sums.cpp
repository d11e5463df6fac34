#include "weights/fit_sums.h"

#include <algorithm>
#include <cstring>

#include "linalg/vertex_tiles.h"
#include "linalg/wide_lanes.h"

void prepareFitSums(const RiggingContext& context, FitSumsInputs& inputs)
{
    flattenBoneTransforms(context.bones, context.numFrames, inputs.flat);
    inputs.tiles = tiledSequence(context, inputs.localTiles);
}

void sizeFitSums(const RiggingContext& context, int longest, FitSumsWork& work)
{
    work.packed.resize(std::size_t(context.numFrames) * 48);
    std::fill(work.packedBones, work.packedBones + 4, -1);
    work.moved.resize(std::size_t(longest) * 3);
    work.gram.resize(std::size_t(longest) * longest);
    work.rhs.resize(longest);
}

void widenFitSums(FitCache& cache, const RiggingContext& context, int longest)
{
    if (cache.width >= longest)
        return;
    cache.width = longest;
    cache.lists.assign(std::size_t(context.numVertices) * (1 + longest), -1);
    cache.sums.assign(std::size_t(context.numVertices) * (longest * longest + longest), 0.0);
}

namespace {

// Fit rows of the normal equations for up to four bones at once, one lane
// each: with M the row of the rest point p moved by the four bones, lane j of
// gram[i] sums M_i·M_j and lane i of rhs sums M_i·x over the rows 3f+c in
// order from 0.0. Each point is moved as transformFlat moves it. packed holds
// the bones' transformations as [frame][12][lane]; x points at the vertex's
// x coordinate in frame 0 of the tiled sequence (tiledTrajectory). The
// lanes are the same four with or without 256-bit registers.
struct FitRowSumsKernel {
    template <bool Wide>
    static WIDE_INLINE void run(const double* packed, int numFrames, const double* p, const double* x, double* gram,
                                double* rhs);
};

template <bool Wide>
WIDE_INLINE void FitRowSumsKernel::run(const double* packed, int numFrames, const double* p, const double* x,
                                       double* gram, double* rhs)
{
    const Quad zero = {0.0, 0.0, 0.0, 0.0};
    Quad g0 = zero, g1 = zero, g2 = zero, g3 = zero, r = zero;
    for (int f = 0; f < numFrames; ++f, packed += 48, x += 3 * kVertexTile) {
        const QuadIn* m = reinterpret_cast<const QuadIn*>(packed);
        for (int c = 0; c < 3; ++c) {
            Quad s = zero;
            s += m[3 * c + 0] * p[0];
            s += m[3 * c + 1] * p[1];
            s += m[3 * c + 2] * p[2];
            const Quad row = s + m[9 + c];
            g0 += row[0] * row;
            g1 += row[1] * row;
            g2 += row[2] * row;
            g3 += row[3] * row;
            r += row * x[c * kVertexTile];
        }
    }
    std::memcpy(gram, &g0, sizeof g0);
    std::memcpy(gram + 4, &g1, sizeof g1);
    std::memcpy(gram + 8, &g2, sizeof g2);
    std::memcpy(gram + 12, &g3, sizeof g3);
    std::memcpy(rhs, &r, sizeof r);
}

// The fit rows' share of AᵀA (lower triangle, list order) and of Aᵀy for a
// list of up to four bones. The bones are laid into lanes in increasing
// order, so that the next vertex with the same bones in any order reuses
// them; entry (i, j) is the same sum of the same products in either lane order.
void fitSumsInLanes(const RiggingContext& context, const FitSumsInputs& inputs, int v, const std::vector<int>& list,
                    FitSumsWork& work)
{
    const int numFrames = context.numFrames, n = int(list.size());
    int bones[4] = {-1, -1, -1, -1};
    for (int i = 0; i < n; ++i) {
        int b = list[i], at = i;
        for (; at > 0 && bones[at - 1] > b; --at)
            bones[at] = bones[at - 1];
        bones[at] = b;
    }
    if (!std::equal(bones, bones + 4, work.packedBones)) {
        const std::size_t stride = context.bones.size() * 12;
        for (int l = 0; l < 4; ++l) {
            double* dst = work.packed.data() + l;
            if (l >= n) {
                for (int fr = 0; fr < numFrames; ++fr, dst += 48)
                    for (int c = 0; c < 12; ++c)
                        dst[4 * c] = 0.0;
                continue;
            }
            const double* m = inputs.flat.data() + std::size_t(bones[l]) * 12;
            for (int fr = 0; fr < numFrames; ++fr, dst += 48, m += stride)
                for (int c = 0; c < 12; ++c)
                    dst[4 * c] = m[c];
        }
        std::copy(bones, bones + 4, work.packedBones);
    }
    int lane[4];
    for (int i = 0; i < n; ++i) {
        lane[i] = 0;
        while (bones[lane[i]] != list[i])
            ++lane[i];
    }

    const Vector& rest = context.restPose[v];
    const double p[3] = {rest[0], rest[1], rest[2]};
    double gram[16], rhs[4];
    runWidest<FitRowSumsKernel>(work.packed.data(), numFrames, p, tiledTrajectory(inputs.tiles, numFrames, v), gram,
                                rhs);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j <= i; ++j)
            work.gram[i * n + j] = gram[lane[i] * 4 + lane[j]];
        work.rhs[i] = rhs[lane[i]];
    }
}

// The same sums for any number of bones, one entry at a time.
void fitSumsScalar(const RiggingContext& context, const FitSumsInputs& inputs, int v, const std::vector<int>& list,
                   FitSumsWork& work)
{
    const int numFrames = context.numFrames;
    const int n = int(list.size());
    const std::size_t stride = context.bones.size();
    const Vector& rest = context.restPose[v];
    const double p[3] = {rest[0], rest[1], rest[2]};
    double* gram = work.gram.data();
    double* rhs = work.rhs.data();
    double* moved = work.moved.data();
    for (int i = 0; i < n * n; ++i)
        gram[i] = 0.0;
    for (int i = 0; i < n; ++i)
        rhs[i] = 0.0;
    for (int fr = 0; fr < numFrames; ++fr) {
        const double* frameBones = inputs.flat.data() + std::size_t(fr) * stride * 12;
        for (int i = 0; i < n; ++i)
            transformFlat(frameBones + std::size_t(list[i]) * 12, p, moved + 3 * i);
        const double* x = context.sequence.point(fr, v);
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < n; ++i) {
                double ai = moved[3 * i + c];
                for (int j = 0; j <= i; ++j)
                    gram[i * n + j] += ai * moved[3 * j + c];
                rhs[i] += ai * x[c];
            }
    }
}

} // namespace

bool fitSumsKept(const FitCache& cache, int v, const std::vector<int>& list)
{
    const int* key = cache.lists.data() + std::size_t(v) * (1 + cache.width);
    return key[0] == int(list.size()) && std::equal(list.begin(), list.end(), key + 1);
}

void fitSums(const RiggingContext& context, const FitSumsInputs& inputs, FitCache* cache, int v,
             const std::vector<int>& list, FitSumsWork& work)
{
    const int n = int(list.size());
    int* key = cache ? cache->lists.data() + std::size_t(v) * (1 + cache->width) : nullptr;
    double* kept = cache ? cache->sums.data() + std::size_t(v) * (cache->width * cache->width + cache->width) : nullptr;
    if (key && fitSumsKept(*cache, v, list)) {
        std::copy(kept, kept + n * n, work.gram.begin());
        std::copy(kept + n * n, kept + n * n + n, work.rhs.begin());
        return;
    }
    if (n <= 4)
        fitSumsInLanes(context, inputs, v, list, work);
    else
        fitSumsScalar(context, inputs, v, list, work);
    if (key) {
        key[0] = n;
        std::copy(list.begin(), list.end(), key + 1);
        std::copy(work.gram.begin(), work.gram.begin() + n * n, kept);
        std::copy(work.rhs.begin(), work.rhs.begin() + n, kept + n * n);
    }
}

