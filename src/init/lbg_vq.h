// Initial bones by LBG vector quantisation of the vertex trajectories.
#pragma once

#include <ostream>
#include <vector>

#include "linalg/dense.h"

struct ThreadPool;

struct LbgParams {
    int debugLevel = 1;
    int maxIterations = 30;
    int maxClusters = 100;
    double convergenceTolerance = 1e-5;
    double splitThreshold = 1e-4;
    std::vector<std::vector<int>> clusters;

    const PointTable* sequence = nullptr;
    const Matrix* restPose = nullptr;
    std::vector<Bone>* bones = nullptr;
    Matrix* weights = nullptr;
    const std::vector<std::vector<int>>* neighbours = nullptr;
    int numVertices = 0;
    int numFrames = 0;
    int clusterCount = 0;

    // The sequence in vertex tiles (tileTrajectories) for the error loops:
    // the run's copy, handed in by the caller, or null; initLbgVq and each
    // routine then build a copy of their own.
    const double* tiles = nullptr;

    std::ostream* console = nullptr; // progress output (standard output in a run)
    ThreadPool* pool = nullptr;      // threads for the fits and errors (null: the calling one)
};

// Returns false when no bone could be fitted (after the first fit of the whole
// mesh, or after the segmentation); the caller stops the run then.
bool initLbgVq(const Matrix& restPose, const std::vector<std::vector<int>>& neighbours, Matrix& weights,
               int maxSplit, double boxDiagonal, std::vector<Bone>& bones, const PointTable& sequence,
               LbgParams& params);

// The steps of the clustering, on the lists and containers of params.
// Refits one bone per cluster; a cluster that cannot carry a bone is dropped
// (then the vertices are assigned again and the result is false).
bool refitBones(LbgParams& params);
// Every vertex joins the cluster whose bone reproduces it best (ties to the
// lowest bone; none when no error is below 1e100).
void assignVertices(LbgParams& params);
// Cuts cluster k in two around a seed far from its centroid and badly reproduced.
void splitCluster(LbgParams& params, int k);
// Per cluster the rms error of its members (errors), and the overall rms error.
double clusterErrors(const LbgParams& params, std::vector<double>& errors);
// E(v, k): squared error of vertex v under bone k summed frame by frame; flat
// holds the bones as flattenBoneTransforms lays them out.
double vertexError(const LbgParams& params, const std::vector<double>& flat, int k, int v);
