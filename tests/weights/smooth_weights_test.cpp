#include <gtest/gtest.h>

#include "weights/smooth_weights.h"

namespace {

TEST(SmoothWeights, RigidityFromLengthChangeAndCoincidentVertices)
{
    // Vertex 1 moves 0.5 further from vertex 0 in every frame; vertex 2 moves
    // rigidly with vertex 0; vertex 3 sits on vertex 2 throughout.
    RiggingContext c;
    c.numVertices = 4, c.numFrames = 5;
    c.restPose = {makeVector3(0, 0, 0), makeVector3(1, 0, 0), makeVector3(0, 2, 0), makeVector3(0, 2, 0)};
    c.neighbours = {{1, 2}, {0}, {0, 3}, {2}};
    resizePointTable(c.sequence, 5, 4);
    for (int f = 0; f < 5; ++f) {
        c.sequence.set(f, 0, makeVector3(0.25 * f, 0, 0));
        c.sequence.set(f, 1, makeVector3(0.25 * f + 1.5, 0, 0));
        c.sequence.set(f, 2, makeVector3(0.25 * f, 2, 0));
        c.sequence.set(f, 3, makeVector3(0.25 * f, 2, 0));
    }
    computeSmoothWeights(c);
    const double rigid = 1.0 / (0.0 + 1e-6 * 2.0);
    EXPECT_EQ(c.smoothWeights[0][0], 1.0 / (0.5 + 1e-6 * 1.0));
    EXPECT_EQ(c.smoothWeights[1][0], c.smoothWeights[0][0]);
    EXPECT_EQ(c.smoothWeights[0][1], rigid);
    // The coincident pair is as rigid as the most rigid edge of the mesh...
    EXPECT_EQ(c.smoothWeights[2][1], rigid);
    EXPECT_EQ(c.smoothWeights[3][0], rigid);
    // ... or 1 when it is the only kind of edge.
    c.neighbours = {{}, {}, {3}, {2}};
    computeSmoothWeights(c);
    EXPECT_EQ(c.smoothWeights[2][0], 1.0);
}

TEST(SmoothWeights, PriorAveragesWeightsAboveTheMinimum)
{
    // Vertex 0 with neighbours 1 and 2 (rigidity 1 and 3) over three bones.
    RiggingContext c;
    c.numVertices = 3, c.numBones = 3;
    c.neighbours = {{1, 2}, {0}, {0}};
    c.smoothWeights = {{1.0, 3.0}, {1.0}, {3.0}};
    c.weights = {makeVector3(0, 0, 0), makeVector3(0.5, 0.49, 0.01), makeVector3(0, 0.25, 0.75)};
    c.vertexBones = {{}, {0, 1, 2}, {1, 2}};
    Vector g, h;
    smoothedWeightVector(c, 0, g, false);
    smoothedWeightVector(c, 0, h, true);
    double total = 0.5 + (0.49 + 0.75) + 2.25; // 0.01 is not above the minimum
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(h[j], g[j]);
    EXPECT_EQ(g[0], 0.5 / total);
    EXPECT_EQ(g[1], (0.49 + 0.75) / total);
    EXPECT_EQ(g[2], 2.25 / total);
    // With nonZeroOnly only the neighbours' candidates count.
    c.vertexBones[1] = {1};
    smoothedWeightVector(c, 0, h, true);
    EXPECT_EQ(h[0], 0.0);
    EXPECT_EQ(h[2], 2.25 / (0.49 + 0.75 + 2.25));
    // A total of 1e-6 or less stays as it is, zero included.
    c.smoothWeights[0] = {1e-5, 0.0};
    c.weights[1] = makeVector3(0.05, 0.01, 0.0);
    smoothedWeightVector(c, 0, g, false);
    EXPECT_EQ(g[0], 1e-5 * 0.05);
    EXPECT_EQ(g[1], 0.0);
    // Weights of the wrong shape give numBones zeros.
    c.numBones = 4;
    smoothedWeightVector(c, 0, g, false);
    ASSERT_EQ(g.size(), 4u);
    EXPECT_EQ(g[0], 0.0);
}

} // namespace
