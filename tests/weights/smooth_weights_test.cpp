#include <gtest/gtest.h>

#include <cmath>

#include "weights/smooth_weights.h"
#include "weights/weight_update.h"
#include "weights/weights_fixture.h"

namespace {

// Four vertices on the x axis; vertex 1 moves away from vertex 0 by 0.5 in
// every frame, vertex 2 moves rigidly with vertex 0, vertex 3 sits on vertex 2.
RiggingContext edgeMesh(int numFrames)
{
    RiggingContext c;
    c.numVertices = 4, c.numFrames = numFrames, c.numBones = 2;
    c.restPose = {makeVector3(0, 0, 0), makeVector3(1, 0, 0), makeVector3(0, 2, 0), makeVector3(0, 2, 0)};
    c.neighbours = {{1, 2}, {0}, {0, 3}, {2}};
    resizePointTable(c.sequence, numFrames, 4);
    for (int f = 0; f < numFrames; ++f) {
        double shift = 0.25 * f;
        c.sequence.set(f, 0, makeVector3(shift, 0, 0));
        c.sequence.set(f, 1, makeVector3(shift + 1.5, 0, 0));
        c.sequence.set(f, 2, makeVector3(shift, 2, 0));
        c.sequence.set(f, 3, makeVector3(shift, 2, 0));
    }
    return c;
}

TEST(SmoothWeights, RigidityFromLengthChangeAndCoincidentVertices)
{
    RiggingContext c = edgeMesh(5);
    computeSmoothWeights(c);
    ASSERT_EQ(c.smoothWeights.size(), 4u);
    // Constant change 0.5: rms is exactly 0.5.
    EXPECT_EQ(c.smoothWeights[0][0], 1.0 / (0.5 + 1e-6 * 1.0));
    EXPECT_EQ(c.smoothWeights[1][0], c.smoothWeights[0][0]);
    // Rigid edge of rest length 2.
    double rigid = 1.0 / (0.0 + 1e-6 * 2.0);
    EXPECT_EQ(c.smoothWeights[0][1], rigid);
    // Coincident vertices that never separate: the largest finite weight.
    EXPECT_EQ(c.smoothWeights[2][1], rigid);
    EXPECT_EQ(c.smoothWeights[3][0], rigid);

    // A mesh whose only edge joins coincident vertices falls back to 1.
    RiggingContext seam = edgeMesh(3);
    seam.neighbours = {{}, {}, {3}, {2}};
    computeSmoothWeights(seam);
    EXPECT_EQ(seam.smoothWeights[2][0], 1.0);
    EXPECT_EQ(seam.smoothWeights[3][0], 1.0);
}

TEST(SmoothWeights, SeamVerticesKeepTheSolvedWeightsFinite)
{
    RiggingContext c;
    weights_fixture::makeMesh(c, 30, 4, 6, 11);
    // Vertex 7 duplicates vertex 6, as along a texture seam.
    c.restPose[7] = c.restPose[6];
    for (int f = 0; f < c.numFrames; ++f)
        c.sequence.set(f, 7, c.sequence.get(f, 6));
    computeSmoothWeights(c);
    for (const std::vector<double>& list : c.smoothWeights)
        for (double w : list)
            ASSERT_TRUE(std::isfinite(w));
    selectCandidateBones(c, 1, false);
    solveWeights(c, 1);
    for (int k = 2; k <= 3; ++k) {
        selectCandidateBones(c, k, true);
        solveWeights(c, k);
    }
    for (int v = 0; v < c.numVertices; ++v)
        for (int j = 0; j < c.numBones; ++j)
            ASSERT_TRUE(std::isfinite(c.weights[v][j])) << v << " " << j;
}

// Vertex 0 with neighbours 1 and 2 (rigidity 1 and 3) over three bones.
RiggingContext priorMesh()
{
    RiggingContext c;
    c.numVertices = 3, c.numBones = 3;
    c.neighbours = {{1, 2}, {0}, {0}};
    c.smoothWeights = {{1.0, 3.0}, {1.0}, {3.0}};
    c.weights = {makeVector3(0, 0, 0), makeVector3(0.5, 0.49, 0.01), makeVector3(0, 0.25, 0.75)};
    c.vertexBones = {{}, {0, 1, 2}, {1, 2}};
    return c;
}

TEST(SmoothWeights, PriorIsTheNormalisedWeightedAverageAboveTheMinimum)
{
    RiggingContext c = priorMesh();
    Vector g;
    smoothedWeightVector(c, 0, g, false);
    ASSERT_EQ(g.size(), 3u);
    // 0.01 equals the minimum and adds nothing.
    double total = 0.0 + (0.5 + 3.0 * 0.0) + (0.49 + 3.0 * 0.25) + 3.0 * 0.75;
    EXPECT_EQ(g[0], 0.5 / total);
    EXPECT_EQ(g[1], (0.49 + 3.0 * 0.25) / total);
    EXPECT_EQ(g[2], (3.0 * 0.75) / total);
    // The neighbours' lists cover every weight above the minimum: same result.
    Vector h;
    smoothedWeightVector(c, 0, h, true);
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(h[j], g[j]);
    // Only listed bones count with nonZeroOnly.
    c.vertexBones[1] = {1};
    smoothedWeightVector(c, 0, h, true);
    EXPECT_EQ(h[0], 0.0);
    EXPECT_EQ(h[1], (0.49 + 3.0 * 0.25) / (0.49 + 3.0 * 0.25 + 3.0 * 0.75));
}

TEST(SmoothWeights, PriorStaysUnnormalisedOrZero)
{
    RiggingContext c = priorMesh();
    Vector g = makeVector3(7, 7, 7);
    // Every neighbour weight at or below the minimum: all zeros.
    c.weights[1] = makeVector3(0.01, 0.01, 0.0);
    c.weights[2] = makeVector3(0.0, 0.005, 0.01);
    smoothedWeightVector(c, 0, g, false);
    EXPECT_EQ(g[0], 0.0);
    EXPECT_EQ(g[1], 0.0);
    EXPECT_EQ(g[2], 0.0);
    // A total of 1e-6 or less is left as it is.
    c.smoothWeights[0] = {1e-5, 0.0};
    c.weights[1] = makeVector3(0.05, 0.0, 0.0);
    smoothedWeightVector(c, 0, g, false);
    EXPECT_EQ(g[0], 1e-5 * 0.05);
    // Weights of the wrong shape: zeros of numBones entries.
    c.numBones = 4;
    smoothedWeightVector(c, 0, g, false);
    ASSERT_EQ(g.size(), 4u);
    for (int j = 0; j < 4; ++j)
        EXPECT_EQ(g[j], 0.0);
}

} // namespace
