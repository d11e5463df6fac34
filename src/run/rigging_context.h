// The one state record that every stage of a run reads and writes.
#pragma once

#include <array>
#include <iostream>
#include <string>
#include <vector>

#include "linalg/dense.h"
#include "weights/fit_cache.h"

// The skeleton: an undirected graph over the bones with component labels.
struct SkeletonGraph {
    std::vector<std::vector<bool>> adjacency; // symmetric, false diagonal
    std::vector<int> component;               // labels are bone indices
    int jointCount = 0;

    // n unlinked bones: no edges, component[i] = i.
    void reset(int n);
    // Links a and b unless they are already connected; a's component takes b's label.
    void addJoint(int a, int b);
};

// Rest-pose triangles, 0-based vertex indices.
using Triangles = std::vector<std::array<int, 3>>;

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
    double jointError = 0.0;
    int repCounter = 0;
    double boxDiagonal = 0.0;

    // Working containers.
    PointTable residuals; // numFrames x numVertices: observed minus blended
    SkeletonGraph skeleton;
    std::vector<std::vector<double>> smoothWeights; // parallel to neighbours
    std::vector<std::vector<int>> boneVertices;     // per bone, vertices listing it (ascending)
    std::vector<std::vector<int>> vertexBones;      // per vertex, candidate bones (best first)
    FitCache fitCache;                              // weight-pass work shared while the bones stay unchanged

    // Where progress lines go (standard output) and where warnings go
    // (standard error), unless a test redirects them.
    std::ostream* console = &std::cout;
    std::ostream* diagnostics = &std::cerr;
};
