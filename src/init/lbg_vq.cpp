#include "init/lbg_vq.h"

#include <algorithm>
#include <cmath>
#include <iomanip>

#include "context/rigging_context.h"
#include "init/bone_fit.h"
#include "init/segmentation.h"
#include "linalg/vertex_tiles.h"
#include "parallel/parallel_for.h"

namespace {

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

} // namespace

double vertexError(const LbgParams& params, const std::vector<double>& flat, int k, int v)
{
    const Vector& p = (*params.restPose)[v];
    const double point[3] = {p[0], p[1], p[2]};
    const std::size_t bones = params.bones->size();
    return trajectoryError(flat.data() + std::size_t(k) * 12, bones * 12, *params.sequence, v, point,
                           params.numFrames);
}

bool refitBones(LbgParams& params)
{
    std::vector<Bone>& bones = *params.bones;
    params.clusterCount = 0;
    const int clusters = int(params.clusters.size());
    bones.resize(std::size_t(clusters));
    // Every cluster is fitted into its own slot, the threads sharing them out.
    // A cluster that cannot be fitted then gives its slot to the next one, so
    // the surviving bones keep the order of their clusters. (A failed fit
    // leaves nothing that survives: the slot is refitted or cut off.)
    std::vector<unsigned char> fitted(std::size_t(clusters), 0);
    parallelChunks(params.pool, clusters, 1, [&](int first, int last, int) {
        for (int k = first; k < last; ++k)
            fitted[std::size_t(k)] = fitBoneToGroup(params, bones[std::size_t(k)], params.clusters[std::size_t(k)]);
    });
    for (int k = 0; k < clusters; ++k)
        if (fitted[std::size_t(k)]) {
            if (params.clusterCount != k)
                std::swap(bones[std::size_t(params.clusterCount)], bones[std::size_t(k)]);
            params.clusterCount += 1;
        }
    if (std::size_t(params.clusterCount) == bones.size())
        return true;
    bones.resize(params.clusterCount);
    assignVertices(params);
    return false;
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
        const double s = squaredDistance(restPose[v], centroid) * vertexError(params, flat, k, v);
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
    // Every error of the clustering walks whole trajectories: stream them
    // from the run's tiled copy, or from one built here.
    std::vector<double> ownTiles;
    const double* runTiles = params.tiles;
    if (!runTiles) {
        tileTrajectories(sequence, params.numFrames, params.numVertices, ownTiles);
        params.tiles = ownTiles.data();
    }

    std::vector<double> errors;
    refitBones(params);
    if (params.clusterCount == 0) {
        params.tiles = runTiles;
        return false; // not even the whole mesh could carry a bone
    }
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

    params.tiles = runTiles;
    segmentClusters(params);
    return params.clusterCount > 0;
}
