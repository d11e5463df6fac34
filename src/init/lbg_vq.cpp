#include "init/lbg_vq.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <limits>

#include "init/bone_fit.h"
#include "init/segmentation.h"
#include "linalg/vertex_tiles.h"
#include "linalg/point_lanes.h"

namespace {

// One frame of E(v, k) for four vertices of a tile (rest points px, py, pz,
// positions x[0], x[kVertexTile], x[2·kVertexTile]) under the transformation
// m (spreadTransforms' layout), added to acc. The rows are summed as
// m0·p0 + m1·p1 + m2·p2 + t: the leading 0.0 of transformPoint's row sums
// could only flip the sign of a zero, which the squares remove, so E is bit
// for bit the same.
POINT_INLINE void frameError(const double* m, const Quad& px, const Quad& py, const Quad& pz, const double* x,
                             Quad& acc)
{
    const Quad d0 = quadAt(m) * px + quadAt(m + 4) * py + quadAt(m + 8) * pz + quadAt(m + 36) - quadAt(x);
    const Quad d1 =
        quadAt(m + 12) * px + quadAt(m + 16) * py + quadAt(m + 20) * pz + quadAt(m + 40) - quadAt(x + kVertexTile);
    const Quad d2 = quadAt(m + 24) * px + quadAt(m + 28) * py + quadAt(m + 32) * pz + quadAt(m + 44) -
                    quadAt(x + 2 * kVertexTile);
    acc = acc + (d0 * d0 + d1 * d1 + d2 * d2);
}

// E(v, k) of 4·Quads vertices side by side (rest points at rest, [axis]
// kVertexTile apart; positions at block, [frame][axis] as in a tile) under one
// bone (m in spreadTransforms' layout) into out. Gives up and returns false as
// soon as, after a block of frames, every lane's partial sum is above its
// bound: the remaining squares can only add to it, so the full sum would be
// above too.
template <int Quads>
POINT_INLINE bool walkErrors(const double* m, int numFrames, const double* rest, const double* block,
                             const double* bound, double* out)
{
    constexpr int kCheckEvery = 4;
    Quad px[Quads], py[Quads], pz[Quads], acc[Quads];
#pragma GCC unroll 4
    for (int q = 0; q < Quads; ++q) {
        px[q] = quadAt(rest + 4 * q);
        py[q] = quadAt(rest + kVertexTile + 4 * q);
        pz[q] = quadAt(rest + 2 * kVertexTile + 4 * q);
        acc[q] = Quad{0.0, 0.0, 0.0, 0.0};
    }
    for (int f = 0; f < numFrames; ++f, m += 48) {
        const double* x = block + std::size_t(f) * 3 * kVertexTile;
#pragma GCC unroll 4
        for (int q = 0; q < Quads; ++q)
            frameError(m, px[q], py[q], pz[q], x + 4 * q, acc[q]);
        if ((f + 1) % kCheckEvery == 0 && f + 1 < numFrames) {
            bool allAbove = true;
#pragma GCC unroll 4
            for (int q = 0; q < Quads; ++q) {
                const auto above = acc[q] > quadAt(bound + 4 * q);
                allAbove = allAbove && above[0] && above[1] && above[2] && above[3];
            }
            if (allAbove)
                return false;
        }
    }
#pragma GCC unroll 4
    for (int q = 0; q < Quads; ++q)
        std::memcpy(out + 4 * q, &acc[q], sizeof acc[q]);
    return true;
}

// E(v, k) of the kVertexTile vertices of one tile under one bone into
// out[kVertexTile], 4·Quads vertices per walk over the frames; the lanes of a
// walk that gave up (see walkErrors) get +infinity, which no comparison with
// a bound it exceeded can prefer.
template <int Quads>
POINT_INLINE void tileErrorsIn(const double* m, int numFrames, const double* rest, const double* block,
                               const double* bound, double* out)
{
    static_assert(kVertexTile % (4 * Quads) == 0, "whole walks per tile");
    for (int first = 0; first < kVertexTile; first += 4 * Quads)
        if (!walkErrors<Quads>(m, numFrames, rest + first, block + first, bound + first, out + first))
            for (int i = first; i < first + 4 * Quads; ++i)
                out[i] = std::numeric_limits<double>::infinity();
}

// Four vertices per walk: the baseline's sixteen registers hold them.
void tileErrorsNarrow(const double* m, int numFrames, const double* rest, const double* block, const double* bound,
                      double* out)
{
    tileErrorsIn<1>(m, numFrames, rest, block, bound, out);
}

#if POINT_LANES_WIDE_AVAILABLE
// The whole tile per walk with 256-bit registers.
__attribute__((target("avx2"))) void tileErrorsWide(const double* m, int numFrames, const double* rest,
                                                     const double* block, const double* bound, double* out)
{
    tileErrorsIn<4>(m, numFrames, rest, block, bound, out);
}
#endif

// One bone over one tile with the widest registers the processor has.
void tileErrors(const double* m, int numFrames, const double* rest, const double* block, const double* bound,
                double* out)
{
#if POINT_LANES_WIDE_AVAILABLE
    if (wideLanesAvailable()) {
        tileErrorsWide(m, numFrames, rest, block, bound, out);
        return;
    }
#endif
    tileErrorsNarrow(m, numFrames, rest, block, bound, out);
}

// Bounds that never stop tileErrors.
constexpr double kNoBound[kVertexTile] = {
    std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};

// Every bone's transformations in spreadTransforms' layout, [bone][frame][48].
void spreadBones(const LbgParams& params, int numBones, std::vector<double>& spread)
{
    std::vector<double> flat;
    flattenBoneTransforms(*params.bones, params.numFrames, flat);
    const std::size_t size = std::size_t(params.numFrames) * 48;
    spread.resize(std::size_t(numBones) * size);
    for (int k = 0; k < numBones; ++k)
        spreadTransforms(flat.data() + std::size_t(k) * 12, params.bones->size() * 12, params.numFrames,
                         spread.data() + std::size_t(k) * size);
}

// The tiled sequence of the run: the record's own when initLbgVq built it for
// this sequence, otherwise built into local.
const double* trajectoryTiles(const LbgParams& params, std::vector<double>& local)
{
    if (params.tilesOf == params.sequence && !params.tiles.empty())
        return params.tiles.data();
    tileTrajectories(*params.sequence, params.numFrames, params.numVertices, local);
    return local.data();
}

// Rest points of the tile starting at vertex first, [axis][lane], zeros past
// the last vertex.
void tileRestPoints(const LbgParams& params, int first, double* rest)
{
    const Matrix& restPose = *params.restPose;
    for (int i = 0; i < kVertexTile; ++i) {
        const bool inside = first + i < params.numVertices;
        const Vector* p = inside ? &restPose[first + i] : nullptr;
        for (int a = 0; a < 3; ++a)
            rest[a * kVertexTile + i] = inside ? (*p)[a] : 0.0;
    }
}

// Squared reconstruction error of rest point p under one bone, summed frame by
// frame. m points at the bone's frame-0 transformation in a [frame][bone][12]
// layout with `stride` doubles between frames.
double trajectoryError(const double* m, std::size_t stride, const PointTable& sequence, int v, const double* p,
                       int numFrames)
{
    double e = 0.0;
    for (int f = 0; f < numFrames; ++f, m += stride) {
        double q[3];
        transformFlat(m, p, q);
        const double* x = sequence.point(f, v);
        const double d0 = q[0] - x[0], d1 = q[1] - x[1], d2 = q[2] - x[2];
        e += d0 * d0 + d1 * d1 + d2 * d2;
    }
    return e;
}

double squaredDistance(const Vector& a, const Vector& b)
{
    const double d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

// E(v, k) for one bone, straight from its Bone record.
double boneError(const LbgParams& params, const std::vector<double>& flat, int k, int v)
{
    const Vector& p = (*params.restPose)[v];
    const double point[3] = {p[0], p[1], p[2]};
    const std::size_t bones = params.bones->size();
    return trajectoryError(flat.data() + std::size_t(k) * 12, bones * 12, *params.sequence, v, point,
                           params.numFrames);
}

void printPercent(std::ostream& out, double value, double boxDiagonal)
{
    out << value / boxDiagonal * 100;
}

} // namespace

bool refitBones(LbgParams& params)
{
    std::vector<Bone>& bones = *params.bones;
    params.clusterCount = 0;
    bones.resize(params.clusters.size());
    // A cluster that cannot be fitted gives its slot to the next one, so the
    // surviving bones keep the order of their clusters.
    for (const std::vector<int>& cluster : params.clusters)
        if (fitBoneToGroup(params, bones[params.clusterCount], cluster))
            params.clusterCount += 1;
    if (std::size_t(params.clusterCount) == bones.size())
        return true;
    bones.resize(params.clusterCount);
    assignVertices(params);
    return false;
}

void assignVertices(LbgParams& params)
{
    const int numBones = params.clusterCount;
    const int numFrames = params.numFrames;
    // Each vertex's cluster so far, if any: its bone is tried first.
    std::vector<int> previous(std::size_t(params.numVertices > 0 ? params.numVertices : 0), -1);
    for (std::size_t k = 0; k < params.clusters.size() && k < std::size_t(numBones); ++k)
        for (int v : params.clusters[k])
            if (v >= 0 && v < params.numVertices)
                previous[v] = int(k);
    params.clusters.resize(numBones);
    for (std::vector<int>& c : params.clusters)
        c.clear();
    if (numBones == 0)
        return;

    // E(v, k) for a whole tile of vertices and one bone at a time, four
    // vertices to a vector; each vertex's error keeps its frame-by-frame order.
    // A bone whose partial errors already exceed every vertex's best so far
    // cannot win and is left unfinished; trying each vertex's previous bone
    // first makes that happen early. The choice is the same as over all
    // bones in order: the smallest error, ties to the lowest bone, none when
    // no error is below 1e100.
    std::vector<double> spread, local;
    spreadBones(params, numBones, spread);
    const std::size_t perBone = std::size_t(numFrames) * 48;
    const double* tiles = trajectoryTiles(params, local);
    std::vector<int> order;
    order.reserve(std::size_t(numBones));
    std::vector<unsigned char> queued(std::size_t(numBones), 0);
    double rest[3 * kVertexTile], err[kVertexTile], best[kVertexTile];
    int choice[kVertexTile];
    for (int first = 0; first < params.numVertices; first += kVertexTile) {
        const int count = params.numVertices - first < kVertexTile ? params.numVertices - first : kVertexTile;
        tileRestPoints(params, first, rest);
        const double* block = tileBlock(tiles, numFrames, first);
        order.clear();
        for (int i = 0; i < count; ++i) {
            const int k = previous[first + i];
            if (k >= 0 && !queued[k]) {
                queued[k] = 1;
                order.push_back(k);
            }
        }
        for (int k = 0; k < numBones; ++k)
            if (!queued[k])
                order.push_back(k);
        for (int k : order)
            queued[k] = 0;
        // Lanes past the last vertex never hold a bone back.
        for (int i = 0; i < kVertexTile; ++i) {
            best[i] = i < count ? 1e100 : -1.0;
            choice[i] = -1;
        }
        for (int k : order) {
            tileErrors(spread.data() + std::size_t(k) * perBone, numFrames, rest, block, best, err);
            for (int i = 0; i < count; ++i)
                if (err[i] < best[i] || (err[i] == best[i] && choice[i] >= 0 && k < choice[i])) {
                    best[i] = err[i];
                    choice[i] = k;
                }
        }
        for (int i = 0; i < count; ++i)
            if (choice[i] >= 0)
                params.clusters[choice[i]].push_back(first + i);
    }
}

void splitCluster(LbgParams& params, int k)
{
    std::vector<int>& members = params.clusters.at(k);
    const std::size_t n = members.size();
    if (n < std::size_t(minGroupSize))
        return;
    const Matrix& restPose = *params.restPose;

    double sum[3] = {0.0, 0.0, 0.0};
    for (int v : members)
        for (int a = 0; a < 3; ++a)
            sum[a] = sum[a] + restPose[v][a];
    const double count = double(n);
    const Vector centroid = makeVector3(sum[0] / count, sum[1] / count, sum[2] / count);

    // Seed: far from the centroid and badly reproduced; the earliest wins ties.
    // (When every score is NaN the first member seeds.)
    std::vector<double> flat;
    flattenBoneTransforms(*params.bones, params.numFrames, flat);
    double best = -1.0;
    int seed = members[0];
    for (int v : members) {
        const double s = squaredDistance(restPose[v], centroid) * boneError(params, flat, k, v);
        if (s > best) {
            best = s;
            seed = v;
        }
    }

    std::vector<double> distance(n);
    for (std::size_t i = 0; i < n; ++i)
        distance[i] = squaredDistance(restPose[members[i]], restPose[seed]);
    // Descending, NaN last, so the order is well defined on any input.
    std::vector<double> sorted = distance;
    std::sort(sorted.begin(), sorted.end(), [](double a, double b) {
        return a > b || (std::isnan(b) && !std::isnan(a));
    });
    const double threshold = sorted[(n - 1) / 2];

    params.clusters.emplace_back();
    params.clusterCount += 1;
    std::vector<int>& stay = params.clusters[k];
    std::vector<int>& moved = params.clusters.back();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        int v = stay[i];
        if (distance[i] > threshold)
            stay[kept++] = v;
        else
            moved.push_back(v);
    }
    stay.resize(kept);
}

namespace {

// clusterErrors one member at a time, for any lists of clusters.
double clusterErrorsOneByOne(const LbgParams& params, const std::vector<double>& flat, std::vector<double>& errors)
{
    double total = 0.0;
    for (int k = 0; k < params.clusterCount; ++k) {
        const std::vector<int>& members = params.clusters[k];
        double s = 0.0;
        for (int v : members)
            s += boneError(params, flat, k, v);
        total += s;
        errors[k] = std::sqrt(s / double(members.size()) / double(params.numFrames));
    }
    return std::sqrt(total / double(params.numVertices) / double(params.numFrames));
}

} // namespace

double clusterErrors(const LbgParams& params, std::vector<double>& errors)
{
    errors.resize(params.clusterCount);
    const int numFrames = params.numFrames, numVertices = params.numVertices;
    std::vector<double> flat;
    flattenBoneTransforms(*params.bones, numFrames, flat);

    // E(v, k) of every member under its own cluster's bone, a tile at a time
    // for each bone that owns a vertex of the tile; then the sums in member order.
    std::vector<int> owner(std::size_t(numVertices), -1);
    bool partition = true;
    for (int k = 0; k < params.clusterCount; ++k)
        for (int v : params.clusters.at(k)) {
            if (v < 0 || v >= numVertices)
                throwSubscriptError();
            partition = partition && owner[v] < 0;
            owner[v] = k;
        }
    // Clusters that share a vertex (never in a run) take the plain way.
    if (!partition)
        return clusterErrorsOneByOne(params, flat, errors);
    std::vector<double> spread, local;
    spreadBones(params, params.clusterCount, spread);
    const std::size_t perBone = std::size_t(numFrames) * 48;
    const double* tiles = trajectoryTiles(params, local);
    std::vector<double> own(std::size_t(numVertices), 0.0);
    double rest[3 * kVertexTile], err[kVertexTile];
    for (int first = 0; first < numVertices; first += kVertexTile) {
        const int count = numVertices - first < kVertexTile ? numVertices - first : kVertexTile;
        bool restReady = false;
        for (int i = 0; i < count; ++i) {
            const int k = owner[first + i];
            bool seen = k < 0;
            for (int e = 0; e < i && !seen; ++e)
                seen = owner[first + e] == k;
            if (seen)
                continue;
            if (!restReady) {
                tileRestPoints(params, first, rest);
                restReady = true;
            }
            tileErrors(spread.data() + std::size_t(k) * perBone, numFrames, rest, tileBlock(tiles, numFrames, first),
                       kNoBound, err);
            for (int e = i; e < count; ++e)
                if (owner[first + e] == k)
                    own[first + e] = err[e];
        }
    }

    double total = 0.0;
    for (int k = 0; k < params.clusterCount; ++k) {
        const std::vector<int>& members = params.clusters[k];
        double s = 0.0;
        for (int v : members)
            s += own[v];
        total += s;
        errors[k] = std::sqrt(s / double(members.size()) / double(params.numFrames));
    }
    return std::sqrt(total / double(params.numVertices) / double(params.numFrames));
}

bool initLbgVq(const Matrix& restPose, const std::vector<std::vector<int>>& neighbours, Matrix& weights,
               int maxSplit, double boxDiagonal, std::vector<Bone>& bones, const PointTable& sequence,
               LbgParams& params)
{
    std::ostream& out = *params.console;
    if (params.debugLevel != 0) {
        // Every later percentage of the run is printed with two decimals.
        out << std::fixed << std::setprecision(2);
        out << "Init - LBG-VQ:\n";
    }
    params.sequence = &sequence;
    params.restPose = &restPose;
    params.bones = &bones;
    params.weights = &weights;
    params.neighbours = &neighbours;
    params.numFrames = sequence.rows;
    params.numVertices = sequence.rows > 0 ? sequence.columns : 0;
    params.clusterCount = 1;
    params.clusters.assign(1, std::vector<int>());
    params.clusters[0].reserve(params.numVertices);
    for (int v = 0; v < params.numVertices; ++v)
        params.clusters[0].push_back(v);
    // Every error of the clustering walks whole trajectories: stream them.
    tileTrajectories(sequence, params.numFrames, params.numVertices, params.tiles);
    params.tilesOf = &sequence;

    std::vector<double> errors;
    refitBones(params);
    if (params.clusterCount == 0)
        return false; // not even the whole mesh could carry a bone
    double err = clusterErrors(params, errors);
    if (params.debugLevel != 0) {
        out << "    Init: Err=";
        printPercent(out, err, boxDiagonal);
        out << "(%) | " << params.clusterCount << " (bones)\n";
    }

    for (int r = 1; r <= maxSplit && params.clusterCount < params.maxClusters; ++r) {
        if (params.debugLevel != 0)
            out << "    Split #" << r;
        // Only the clusters that existed when the pass started are examined.
        const int existing = params.clusterCount;
        for (int k = 0; k < existing; ++k) {
            if (errors[k] > params.splitThreshold * boxDiagonal) {
                splitCluster(params, k);
                if (params.clusterCount >= params.maxClusters)
                    break;
            }
        }
        refitBones(params);
        double e = clusterErrors(params, errors);

        // An iteration whose refit dropped a cluster neither counts nor ends the refinement.
        for (int i = 0; i < params.maxIterations;) {
            const double prev = e;
            assignVertices(params);
            const bool ok = refitBones(params);
            e = clusterErrors(params, errors);
            if (params.debugLevel != 0)
                out << ".";
            if (!ok)
                continue;
            if (params.convergenceTolerance * e > prev - e)
                break;
            ++i;
        }
        if (params.debugLevel != 0) {
            out << "Err=";
            printPercent(out, e, boxDiagonal);
            out << "(%) | " << params.clusterCount << " (bones)\n";
        }
    }

    segmentClusters(params);
    return params.clusterCount > 0;
}
