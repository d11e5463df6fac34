#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "linalg/vertex_tiles.h"
#include "linalg/point_lanes.h"
#include "weights/fit_sums.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"







namespace {

// Vertices are scored in tiles of this many, four to a vector: one bone's
// transformation in a frame is read once for the whole tile, and the tile's
// positions are gathered once from the frame-major sequence.
constexpr int kTile = kVertexTile;

struct BoneScore {
    double score;
    int bone;
};

// Work buffers of one selectCandidateBones call, sized once.
struct CandidateWork {
    FitSumsWork fit;                   // the transformations ([frame][bone][12]) and the fit sums
    std::unique_ptr<double[]> spread;  // per bone, each entry four times, [bone][frame][12][4]
    std::vector<unsigned char> spreadReady;
    std::vector<double> rest;          // the tile's rest points, [axis][kTile]
    std::vector<double> trajectories;  // the tile's positions, [frame][axis][kTile]
    std::vector<double> tileScores;    // one bone's fit errors over the tile
    std::vector<double> scores;        // fit errors when there is no cache, [vertex][bone]
    std::vector<unsigned char> scored; // which of them hold values, [tile][bone]
    int words = 0;                      // 64-bit words per set of bones
    std::vector<std::uint64_t> wanted;  // bones the current tile needs
    std::vector<BoneScore> records;
    std::vector<int> dominantBone;
    std::vector<std::uint64_t> boneContact; // numBones rows of words: bone j is bit j % 64 of word j / 64
    PriorTables priorTables;
    Vector prior;
};

// One frame's squared error of four vertices (rest points px, py, pz;
// observed x[0], x[kTile], x[2·kTile]) under the transformation whose entries
// m holds four times each (m[4c .. 4c+3] = entry c), added to acc. The rows
// are summed as m0·p0 + m1·p1 + m2·p2 + t: the leading 0.0 of the row sums in
// transformPoint could only flip the sign of a zero, which the squares
// remove, so the errors are bit for bit the same.
POINT_INLINE void frameError(const double* m, const Quad& px, const Quad& py, const Quad& pz, const double* x,
                             Quad& acc)
{
    const Quad tx = quadAt(m) * px + quadAt(m + 4) * py + quadAt(m + 8) * pz + quadAt(m + 36);
    const Quad ty = quadAt(m + 12) * px + quadAt(m + 16) * py + quadAt(m + 20) * pz + quadAt(m + 40);
    const Quad tz = quadAt(m + 24) * px + quadAt(m + 28) * py + quadAt(m + 32) * pz + quadAt(m + 44);
    const Quad ex = tx - quadAt(x);
    const Quad ey = ty - quadAt(x + kTile);
    const Quad ez = tz - quadAt(x + 2 * kTile);
    acc = acc + (ey * ey + ex * ex + ez * ez);
}

// Squared fit errors of 4·Quads vertices side by side (rest points at rest,
// [axis] kTile apart; positions at trajectories, [frame][axis] as in a tile)
// under one bone, summed over the frames in order, into out. m holds the
// bone's transformations, 48 doubles per frame (see frameError).
template <int Quads>
POINT_INLINE void scoreLanes(const double* m, int numFrames, const double* rest, const double* trajectories,
                             double* out)
{
    Quad px[Quads], py[Quads], pz[Quads], acc[Quads];
#pragma GCC unroll 4
    for (int q = 0; q < Quads; ++q) {
        px[q] = quadAt(rest + 4 * q);
        py[q] = quadAt(rest + kTile + 4 * q);
        pz[q] = quadAt(rest + 2 * kTile + 4 * q);
        acc[q] = Quad{0.0, 0.0, 0.0, 0.0};
    }
    for (int f = 0; f < numFrames; ++f, m += 48) {
        const double* x = trajectories + std::size_t(f) * 3 * kTile;
#pragma GCC unroll 4
        for (int q = 0; q < Quads; ++q)
            frameError(m, px[q], py[q], pz[q], x + 4 * q, acc[q]);
    }
#pragma GCC unroll 4
    for (int q = 0; q < Quads; ++q)
        std::memcpy(out + 4 * q, &acc[q], sizeof acc[q]);
}

// The whole tile (rest points [axis][kTile], positions [frame][axis][kTile])
// under one bone into out[kTile], 4·Quads vertices per walk over the frames:
// as many as the registers hold without spilling.
template <int Quads>
POINT_INLINE void scoreTile(const double* m, int numFrames, const double* rest, const double* trajectories,
                            double* out)
{
    static_assert(kTile % (4 * Quads) == 0, "whole walks per tile");
    for (int first = 0; first < kTile; first += 4 * Quads)
        scoreLanes<Quads>(m, numFrames, rest + first, trajectories + first, out + first);
}

// Four vertices per walk: the baseline's sixteen registers hold them.
void scoreBoneTileNarrow(const double* m, int numFrames, const double* rest, const double* trajectories, double* out)
{
    scoreTile<1>(m, numFrames, rest, trajectories, out);
}

#if POINT_LANES_WIDE_AVAILABLE
// The whole tile per walk with 256-bit registers.
__attribute__((target("avx2"))) void scoreBoneTileWide(const double* m, int numFrames, const double* rest,
                                                        const double* trajectories, double* out)
{
    scoreTile<4>(m, numFrames, rest, trajectories, out);
}
#endif

// One bone over one tile with the widest registers the processor has.
void scoreBoneTile(const double* m, int numFrames, const double* rest, const double* trajectories, double* out)
{
#if POINT_LANES_WIDE_AVAILABLE
    if (wideLanesAvailable()) {
        scoreBoneTileWide(m, numFrames, rest, trajectories, out);
        return;
    }
#endif
    scoreBoneTileNarrow(m, numFrames, rest, trajectories, out);
}

// Bone j's transformations with every entry four times (see frameError),
// built the first time the call scores the bone.
const double* spreadBone(const RiggingContext& context, int j, CandidateWork& work)
{
    const int numFrames = context.numFrames;
    // Room for every bone at the first use (most calls score nothing).
    if (!work.spread)
        work.spread.reset(new double[std::size_t(context.numBones) * numFrames * 48]);
    double* out = work.spread.get() + std::size_t(j) * numFrames * 48;
    if (!work.spreadReady[j]) {
        spreadTransforms(work.fit.flat.data() + std::size_t(j) * 12, context.bones.size() * 12, numFrames, out);
        work.spreadReady[j] = 1;
    }
    return out;
}

// Rest points and (with positions) positions in every frame of vertices
// first .. first+count−1; the lanes past count hold zeros.
void gatherTile(const RiggingContext& context, int first, int count, bool positions, CandidateWork& work)
{
    const int numFrames = context.numFrames;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < kTile; ++i)
            work.rest[c * kTile + i] = i < count ? context.restPose[first + i][c] : 0.0;
    for (int f = 0; positions && f < numFrames; ++f) {
        const double* x = context.sequence.point(f, first);
        double* out = work.trajectories.data() + std::size_t(f) * 3 * kTile;
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < kTile; ++i)
                out[c * kTile + i] = i < count ? x[3 * i + c] : 0.0;
    }
}

// Makes sure the fit errors of the tile starting at vertex first hold values
// for every bone flagged in work.wanted, scoring the ones that do not. tiled
// is the tile's block of the cache's copy of the sequence, or null.
void scoreTileBones(const RiggingContext& context, int first, const double* tiled, double* scores,
                    unsigned char* scored, CandidateWork& work)
{
    const int numBones = context.numBones, numFrames = context.numFrames;
    const int count = context.numVertices - first < kTile ? context.numVertices - first : kTile;
    bool gathered = false;
    for (int j = 0; j < numBones; ++j) {
        if (!((work.wanted[j / 64] >> (j % 64)) & 1) || scored[j])
            continue;
        if (!gathered) {
            gatherTile(context, first, count, tiled == nullptr, work);
            gathered = true;
        }
        scoreBoneTile(spreadBone(context, j, work), numFrames, work.rest.data(),
                      tiled ? tiled : work.trajectories.data(), work.tileScores.data());
        for (int i = 0; i < count; ++i)
            scores[std::size_t(first + i) * numBones + j] = work.tileScores[i];
        scored[j] = 1;
    }
}

// Ranks records [0, count) by score in place until the best `wanted` lead,
// best first; records of equal score keep their order. This is the head of a
// stable sort by score, found without sorting the whole list. A score that is
// not a number ranks after every other score.
void rankBest(BoneScore* records, int count, int wanted)
{
    auto better = [](double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); };
    for (int t = 0; t < wanted && t < count; ++t) {
        int best = t;
        for (int i = t + 1; i < count; ++i)
            if (better(records[i].score, records[best].score))
                best = i;
        BoneScore chosen = records[best];
        for (int i = best; i > t; --i)
            records[i] = records[i - 1];
        records[t] = chosen;
    }
}

// The bone with the largest current weight in each vertex's list as it is on
// entry (the first of equal weights; bone 0 for an empty list), and the flags
// of bones that are dominant on the two ends of some mesh edge. The lists and
// weights come from tables when they are kept from the last pass, the
// neighbours from neighbourRuns when they are built; otherwise from the context.
void buildBoneContact(const RiggingContext& context, const PriorTables* tables, const PriorTables* neighbourRuns,
                      CandidateWork& work)
{
    const int numVertices = context.numVertices, numBones = context.numBones;
    if (context.vertexBones.size() < std::size_t(numVertices) || context.neighbours.size() < std::size_t(numVertices))
        throwSubscriptError();
    work.dominantBone.assign(numVertices, 0);
    for (int v = 0; tables && v < numVertices; ++v) {
        // The tables hold every list with its weights: no weight row is read.
        const int* bone = tables->bone.data() + std::size_t(v) * tables->width;
        const double* weight = tables->weight.data() + std::size_t(v) * tables->width;
        if (tables->count[v] == 0)
            continue;
        int best = bone[0];
        double bestWeight = -1.0;
        for (int i = 0; i < tables->count[v]; ++i)
            if (weight[i] > bestWeight) {
                bestWeight = weight[i];
                best = bone[i];
            }
        work.dominantBone[v] = best;
    }
    for (int v = 0; !tables && v < numVertices; ++v) {
        const std::vector<int>& list = context.vertexBones[v];
        if (list.empty())
            continue;
        const Vector& w = context.weights[v];
        int best = list[0];
        double bestWeight = -1.0;
        for (int b : list)
            if (w[b] > bestWeight) {
                bestWeight = w[b];
                best = b;
            }
        if (best < 0 || best >= numBones)
            throwSubscriptError();
        work.dominantBone[v] = best;
    }
    const std::size_t words = std::size_t(work.words);
    auto link = [&](int a, int b) { work.boneContact[std::size_t(a) * words + b / 64] |= std::uint64_t(1) << (b % 64); };
    work.boneContact.assign(std::size_t(numBones) * words, 0);
    for (int i = 0; i < numBones; ++i)
        link(i, i);
    for (int v = 0; v < numVertices; ++v) {
        const int dv = work.dominantBone[v];
        auto touch = [&](int u) {
            if (u < 0 || u >= numVertices)
                throwSubscriptError();
            const int du = work.dominantBone[u];
            link(du, dv);
            link(dv, du);
        };
        // The prior's compact neighbour runs when it has them.
        if (neighbourRuns)
            for (int k = neighbourRuns->neighbourStart[v]; k < neighbourRuns->neighbourStart[v + 1]; ++k)
                touch(neighbourRuns->neighbour[k]);
        else
            for (int u : context.neighbours[v])
                touch(u);
    }
}

} // namespace

void selectCandidateBones(RiggingContext& context, int k, bool restricted)
{
    const int numVertices = context.numVertices, numFrames = context.numFrames, numBones = context.numBones;
    const double kappa = double(numFrames) * context.omega;
    context.boneVertices.resize(numBones);
    for (std::vector<int>& list : context.boneVertices)
        list.clear();
    context.vertexBones.resize(numVertices);
    if (numBones <= 0) {
        for (std::vector<int>& list : context.vertexBones)
            list.clear();
        return;
    }

    CandidateWork work;
    work.words = (numBones + 63) / 64;
    if (std::size_t(numBones) > context.bones.size())
        throwSubscriptError();
    const PointTable& seq = context.sequence;
    if (rowCount(context.restPose) < std::size_t(numVertices) || seq.rows < numFrames || seq.columns < numVertices)
        throwSubscriptError();
    prepareFitSums(context, k > 1 ? k : 1, work.fit);

    // Fit errors depend on nothing that a weight pass changes: with the cache
    // on they are kept for the next call with the same bones.
    const bool cached = syncFitCache(context, work.fit.flat);
    // The prior's tables as the last weight pass left them, or fresh ones.
    PriorTables& tables = cached ? context.fitCache.prior : work.priorTables;
    const bool tablesKept = cached && restricted && priorTablesCurrent(context, k, tables);
    if (restricted && !tablesKept)
        buildPriorTables(context, k, tables);
    if (cached && restricted)
        widenFitSums(context, k > 1 ? k : 1);
    if (cached)
        context.fitCache.priorValid = false;
    if (restricted)
        buildBoneContact(context, tablesKept && tables.usable ? &tables : nullptr, tables.usable ? &tables : nullptr,
                         work);
    std::vector<double>& scores = cached ? context.fitCache.scores : work.scores;
    std::vector<unsigned char>& scored = cached ? context.fitCache.scored : work.scored;
    const int numTiles = (numVertices + kTile - 1) / kTile;
    // Scores are read only where their tile's flag is set.
    if (scores.size() != std::size_t(numVertices) * numBones || scored.size() != std::size_t(numTiles) * numBones) {
        scores.resize(std::size_t(numVertices) * numBones);
        scored.assign(std::size_t(numTiles) * numBones, 0);
    }
    work.rest.resize(3 * kTile);
    if (!cached)
        work.trajectories.resize(std::size_t(kTile) * numFrames * 3);
    work.tileScores.resize(kTile);
    work.spreadReady.assign(std::size_t(numBones), 0);
    work.wanted.resize(std::size_t(work.words));
    work.records.resize(numBones);

    for (int v = 0; v < numVertices; ++v) {
        // Only the bones that a vertex of the tile may take are scored.
        if (v % kTile == 0) {
            const int end = numVertices - v < kTile ? numVertices : v + kTile;
            for (int w = 0; w < work.words; ++w)
                work.wanted[w] = restricted ? 0 : ~std::uint64_t(0);
            if (restricted)
                for (int u = v; u < end; ++u) {
                    const std::uint64_t* row = work.boneContact.data() + std::size_t(work.dominantBone[u]) * work.words;
                    for (int w = 0; w < work.words; ++w)
                        work.wanted[w] |= row[w];
                }
            const double* tiled =
                cached ? tileBlock(context.fitCache.tiles.data(), numFrames, v) : nullptr;
            scoreTileBones(context, v, tiled, scores.data(), scored.data() + std::size_t(v / kTile) * numBones, work);
        }
        const double* fit = scores.data() + std::size_t(v) * numBones;

        // The neighbours before v already hold their new lists here.
        if (restricted)
            smoothedPrior(context, tables, v, work.prior);
        else
            smoothedWeightVector(context, v, work.prior, false);
        // Only bones that may be taken are ranked; the best k of them, in
        // order, are what a walk over all bones sorted by score would take.
        const std::uint64_t* contact =
            restricted ? work.boneContact.data() + std::size_t(work.dominantBone[v]) * work.words : nullptr;
        int count = 0;
        for (int w = 0; w < work.words; ++w) {
            std::uint64_t bits = contact ? contact[w] : ~std::uint64_t(0);
            for (; bits != 0; bits &= bits - 1) {
                const int j = w * 64 + __builtin_ctzll(bits);
                if (j >= numBones)
                    break;
                double gap = 1.0 - work.prior[j];
                work.records[count].score = fit[j] + kappa * (gap * gap);
                work.records[count].bone = j;
                ++count;
            }
        }
        int taken = k < count ? k : count;
        if (taken < 0)
            taken = 0;
        rankBest(work.records.data(), count, taken);

        std::vector<int>& list = context.vertexBones[v];
        list.clear();
        for (int t = 0; t < taken; ++t) {
            int b = work.records[t].bone;
            list.push_back(b);
            context.boneVertices[b].push_back(v);
        }
        if (restricted) {
            refreshPriorEntry(context, v, tables);
            // The solve that follows needs the fit sums of this list: form
            // them now, while the vertex's tile is still in cache.
            if (cached && taken > 0)
                fitSums(context, true, v, list, work.fit);
        }
    }
    if (cached && restricted)
        context.fitCache.priorValid = true;
}
