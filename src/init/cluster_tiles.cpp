#include "init/lbg_vq.h"

#include <cmath>
#include <vector>

#include "linalg/tile_errors.h"
#include "parallel/parallel_for.h"

// The two loops of the clustering that walk every vertex's whole trajectory,
// a tile of vertices at a time with the tile error kernel; each error comes
// out bit for bit as vertexError gives it.

namespace {

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

// The tiled sequence of the run when the record has it, otherwise a copy
// built into local.
const double* trajectoryTiles(const LbgParams& params, std::vector<double>& local)
{
    if (params.tiles)
        return params.tiles;
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

} // namespace

namespace {

// Work of one thread of the assignment: the order in which a tile tries the
// bones and which of them are queued.
struct AssignWork {
    std::vector<int> order;
    std::vector<unsigned char> queued;
};

// The choice of every vertex of the tile starting at first, into chosen (−1:
// none). E(v, k) for the whole tile and one bone at a time, four vertices to
// a vector; each vertex's error keeps its frame-by-frame order. A bone whose
// partial errors already exceed every vertex's best so far cannot win and is
// left unfinished; trying each vertex's previous bone (previous[v], −1 for
// none) first makes that happen early. The choice is the same as over all
// bones in order: the smallest error, ties to the lowest bone, none when no
// error is below 1e100.
void assignTile(const LbgParams& params, int numBones, const double* spread, const double* tiles,
                const std::vector<int>& previous, int first, AssignWork& work, int* chosen)
{
    const int numFrames = params.numFrames;
    const std::size_t perBone = std::size_t(numFrames) * 48;
    const int count = params.numVertices - first < kVertexTile ? params.numVertices - first : kVertexTile;
    double rest[3 * kVertexTile], err[kVertexTile], best[kVertexTile];
    tileRestPoints(params, first, rest);
    const double* block = tileBlock(tiles, numFrames, first);
    std::vector<int>& order = work.order;
    order.clear();
    for (int i = 0; i < count; ++i) {
        const int k = previous[first + i];
        if (k >= 0 && !work.queued[k]) {
            work.queued[k] = 1;
            order.push_back(k);
        }
    }
    for (int k = 0; k < numBones; ++k)
        if (!work.queued[k])
            order.push_back(k);
    for (int k : order)
        work.queued[k] = 0;
    // Lanes past the last vertex never hold a bone back.
    for (int i = 0; i < kVertexTile; ++i) {
        best[i] = i < count ? 1e100 : -1.0;
        if (i < count)
            chosen[i] = -1;
    }
    for (int k : order) {
        tileErrors(spread + std::size_t(k) * perBone, numFrames, rest, block, best, err);
        for (int i = 0; i < count; ++i)
            if (err[i] < best[i] || (err[i] == best[i] && chosen[i] >= 0 && k < chosen[i])) {
                best[i] = err[i];
                chosen[i] = k;
            }
    }
}

} // namespace

void assignVertices(LbgParams& params)
{
    const int numBones = params.clusterCount;
    const int numVertices = params.numVertices > 0 ? params.numVertices : 0;
    // Each vertex's cluster so far, if any: its bone is tried first.
    std::vector<int> previous(std::size_t(numVertices), -1);
    for (std::size_t k = 0; k < params.clusters.size() && k < std::size_t(numBones); ++k)
        for (int v : params.clusters[k])
            if (v >= 0 && v < numVertices)
                previous[v] = int(k);
    params.clusters.resize(numBones);
    for (std::vector<int>& c : params.clusters)
        c.clear();
    if (numBones == 0)
        return;

    // The threads share the tiles out; the clusters are then filled in
    // vertex order, so each lists its members ascending.
    std::vector<double> spread, local;
    spreadBones(params, numBones, spread);
    const double* tiles = trajectoryTiles(params, local);
    const int numTiles = (numVertices + kVertexTile - 1) / kVertexTile;
    std::vector<AssignWork> work(std::size_t(loopThreads(params.pool, numTiles)));
    for (AssignWork& w : work) {
        w.order.reserve(std::size_t(numBones));
        w.queued.assign(std::size_t(numBones), 0);
    }
    std::vector<int> chosen(std::size_t(numVertices), -1);
    parallelFor(params.pool, numTiles, [&](int tile, int t) {
        const int first = tile * kVertexTile;
        assignTile(params, numBones, spread.data(), tiles, previous, first, work[std::size_t(t)], chosen.data() + first);
    });
    for (int v = 0; v < numVertices; ++v)
        if (chosen[std::size_t(v)] >= 0)
            params.clusters[std::size_t(chosen[std::size_t(v)])].push_back(v);
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
            s += vertexError(params, flat, k, v);
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
    // The threads share the tiles out; the sums follow in member order.
    const int numTiles = (numVertices + kVertexTile - 1) / kVertexTile;
    parallelFor(params.pool, numTiles, [&](int tile, int) {
        const int first = tile * kVertexTile;
        const int count = numVertices - first < kVertexTile ? numVertices - first : kVertexTile;
        double rest[3 * kVertexTile], err[kVertexTile];
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
                       kNoBound.data(), err);
            for (int e = i; e < count; ++e)
                if (owner[first + e] == k)
                    own[first + e] = err[e];
        }
    });

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
