// The one state record that every stage of a run reads and writes, and the
// plain records it holds.
#pragma once

#include <iostream>
#include <string>
#include <vector>

#include "context/skeleton_graph.h"
#include "context/triangles.h"
#include "linalg/dense.h"

struct StageTimes;
struct ThreadPool;

struct RiggingContext {
    // Run parameters (command line).
    int debugLevel = 1;
    int maxSplit = 5;
    int maxInitClusters = 100;
    int rigIterations = 30;
    int nnz = 4;
    double lambdaRate = 1.5;
    double omega = 0.001;
    double smoothEpsilon = 1e-6;
    double weightItersPerVertex = 0.0005;
    double jointsReg = 0.1;
    double sigWeight = 0.5;
    double pruneScale = 0.01;
    double smoothWeightMin = 0.01;

    // Input and result containers.
    PointTable sequence;                       // numFrames x numVertices
    Matrix restPose;                           // numVertices rows of 3-vectors
    std::vector<std::vector<int>> neighbours;  // per vertex, adjacent vertices
    Matrix weights;                            // numVertices x numBones
    std::vector<Bone> bones;                   // numBones
    PointTable jointTable;                     // numBones x numBones

    int numVertices = 0;
    int numFrames = 0;
    int numBones = 0;
    double fitError = 0.0;
    double fitErrorWithoutSkeleton = 0.0; // at the end of the last stage without one
    double jointError = 0.0;
    int repCounter = 0;
    double boxDiagonal = 0.0;

    // Working containers.
    PointTable residuals; // numFrames x numVertices: observed minus blended
    // Where the residuals would take largeTable bytes or more, the bone
    // update keeps only their squared lengths, numFrames x numVertices
    // (r_x·r_x + r_y·r_y + r_z·r_z), which is all the fit error reads, and
    // leaves residuals empty: a third of the memory.
    std::vector<double> residualNorms;
    std::size_t largeTable = std::size_t(64) << 20;
    SkeletonGraph skeleton;
    std::vector<std::vector<double>> smoothWeights; // parallel to neighbours
    std::vector<std::vector<int>> boneVertices;     // per bone, vertices listing it (ascending)
    std::vector<std::vector<int>> vertexBones;      // per vertex, candidate bones (best first)

    // The sequence in vertex tiles (tileTrajectories), built once by
    // tileSequence and read by the initialisation and the weight passes,
    // which stream whole trajectories; tiledFrom, tiledFrames and
    // tiledVertices say what it was built from.
    std::vector<double> sequenceTiles;
    const double* tiledFrom = nullptr;
    int tiledFrames = -1;
    int tiledVertices = -1;

    // Where progress lines go (standard output) and where warnings go
    // (standard error), unless a test redirects them.
    std::ostream* console = &std::cout;
    std::ostream* diagnostics = &std::cerr;

    // The threads that the stages share their work among (null: the calling
    // thread alone; the results are the same bit for bit either way), and
    // where the time of each stage is added up (null: nowhere).
    ThreadPool* pool = nullptr;
    StageTimes* stageTimes = nullptr;
};

// Builds sequenceTiles for numFrames x numVertices of the sequence. Whoever
// changes the sequence's values afterwards builds it again.
void tileSequence(RiggingContext& context);

// The tiled sequence: sequenceTiles when it was built from the sequence's
// current storage and counts, otherwise a copy built into local.
const double* tiledSequence(const RiggingContext& context, std::vector<double>& local);

// Prints value as a percentage of the rest pose's box diagonal.
void printPercent(std::ostream& out, double value, double boxDiagonal);
