// Initial bones by LBG vector quantisation of the vertex trajectories.
#pragma once

#include <ostream>
#include <vector>

#include "linalg/dense.h"
#include "run/rigging_context.h"

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

    // The sequence in vertex tiles (tileTrajectories) for the error loops,
    // built by initLbgVq; tilesOf is the sequence it was built from. The
    // routines build a copy of their own when it does not match.
    std::vector<double> tiles;
    const PointTable* tilesOf = nullptr;

    std::ostream* console = nullptr; // progress output (standard output in a run)
};

// Returns false when no bone could be fitted (after the first fit of the whole
// mesh, or after the segmentation); the caller stops the run then.
bool initLbgVq(const Matrix& restPose, const std::vector<std::vector<int>>& neighbours, Matrix& weights,
               int maxSplit, double boxDiagonal, std::vector<Bone>& bones, const PointTable& sequence,
               LbgParams& params);
bool refitBones(LbgParams& params);
void assignVertices(LbgParams& params);
void splitCluster(LbgParams& params, int k);
double clusterErrors(const LbgParams& params, std::vector<double>& errors);
