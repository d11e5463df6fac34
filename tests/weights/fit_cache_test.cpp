#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

#include "run/driver.h"
#include "support/bar_mesh.h"
#include "weights/fit_cache.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"
#include "weights/weights_fixture.h"

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Lists and weights of the two contexts agree bit for bit.
void expectSameState(const RiggingContext& a, const RiggingContext& b)
{
    ASSERT_EQ(a.vertexBones, b.vertexBones);
    ASSERT_EQ(a.boneVertices, b.boneVertices);
    ASSERT_EQ(rowCount(a.weights), rowCount(b.weights));
    for (int v = 0; v < a.numVertices; ++v)
        ASSERT_TRUE(a.weights[v].size() == b.weights[v].size() &&
                    std::memcmp(a.weights[v].data(), b.weights[v].data(), a.weights[v].size() * sizeof(double)) == 0)
            << "vertex " << v;
}

TEST(FitCache, ChangedSequenceStorageIsNotTrusted)
{
    // A copy of a context holds its own sequence: its first call must not
    // take the other's kept work, even with the same bones.
    RiggingContext a;
    weights_fixture::makeMesh(a, 40, 6, 5, 8);
    computeSmoothWeights(a);
    FitCache cache;
    selectCandidateBones(a, 3, false, &cache);
    solveWeights(a, 3, &cache);
    RiggingContext b = a;
    for (int v = 0; v < b.numVertices; ++v)
        for (int f = 0; f < b.numFrames; ++f)
            b.sequence.point(f, v)[0] += 0.5;
    RiggingContext fresh = b;
    selectCandidateBones(b, 3, true, &cache);
    selectCandidateBones(fresh, 3, true, nullptr);
    expectSameState(b, fresh);
    solveWeights(b, 3, &cache);
    solveWeights(fresh, 3, nullptr);
    expectSameState(b, fresh);
}

TEST(FitCache, EntriesStayOnlyWhileTheBonesStayBitForBit)
{
    RiggingContext c;
    weights_fixture::makeMesh(c, 20, 3, 2, 4);
    std::vector<double> flat;
    flattenBoneTransforms(c.bones, c.numFrames, flat);
    FitCache cache;
    syncFitCache(cache, c, flat);
    cache.scored.assign(2, 1);
    syncFitCache(cache, c, flat);
    EXPECT_EQ(cache.scored, std::vector<unsigned char>(2, 1));
    flat[7] = flat[7] == 0.0 ? -0.0 : -flat[7]; // a changed sign, even of zero, is a change
    syncFitCache(cache, c, flat);
    EXPECT_EQ(cache.scored, std::vector<unsigned char>(2, 0));
}

TEST(PriorTables, EntriesMatchTheSmoothedWeightVectorAndFollowNewLists)
{
    // 70 bones: more than one 64-bit word of flags; weights at and below the
    // minimum and a NaN are left out in both.
    for (int numBones : {7, 70}) {
        RiggingContext c;
        weights_fixture::makeMesh(c, 40, numBones, 4, 12);
        computeSmoothWeights(c);
        c.weights[5][c.vertexBones[5][0]] = c.smoothWeightMin;
        c.weights[6][c.vertexBones[6][1]] = std::nan("");
        c.weights[7][c.vertexBones[7][2]] = 0.005;
        PriorTables tables;
        buildPriorTables(c, 4, tables);
        // A solve writes the row (zero outside the list): the entry takes it.
        c.weights[10] = Vector(std::size_t(numBones), 0.0);
        c.weights[10][1] = 0.75;
        c.weights[10][6] = 0.25;
        c.vertexBones[10] = {6, 1};
        setPriorEntry(tables, 10, c.vertexBones[10], c.weights[10]);
        // A new list after that comes from the entry alone: bone 3 weighs 0.
        c.vertexBones[10] = {3, 1, 5};
        refreshPriorEntry(c, 10, tables);
        // A new list without a solve first reads the row.
        c.vertexBones[11] = {4, 0};
        refreshPriorEntry(c, 11, tables);
        EXPECT_EQ(tables.count[10], 3);
        EXPECT_EQ(tables.weight[10 * tables.width + 1], 0.75);
        Vector expected, got;
        for (int v = 0; v < c.numVertices; ++v) {
            smoothedWeightVector(c, v, expected, true);
            smoothedPrior(c, tables, v, got);
            ASSERT_EQ(got.size(), expected.size());
            for (int j = 0; j < numBones; ++j)
                ASSERT_TRUE(sameBits(got[j], expected[j])) << numBones << " bones, vertex " << v << " bone " << j;
        }
        // A new list naming a bone that does not exist is an index error.
        setPriorEntry(tables, 12, {0}, c.weights[12]);
        c.vertexBones[12] = {0, numBones};
        EXPECT_THROW(refreshPriorEntry(c, 12, tables), std::out_of_range);
    }
}

// Every number a run leaves behind, flattened for a bitwise comparison (the
// residuals through the fit error).
std::vector<double> state(const RiggingContext& c)
{
    std::vector<double> out;
    flattenBoneTransforms(c.bones, c.numFrames, out);
    for (const Vector& row : c.weights)
        out.insert(out.end(), row.begin(), row.end());
    out.insert(out.end(), c.jointTable.values.begin(), c.jointTable.values.end());
    out.push_back(c.fitError);
    out.push_back(c.jointError);
    return out;
}

// Whole runs on one bent bar, keeping the weight passes' work while the bones
// stay unchanged or redoing it, and keeping every residual or (as for a large
// mesh) only their squared lengths: the same bits and the same console
// output, through pruning and the stage with joints.
TEST(KeptWork, RunIsTheSameWithAndWithoutIt)
{
    RiggingContext context;
    Triangles triangles;
    testmesh::makeBar(24, 0.0, context.restPose, triangles);
    std::vector<int> partOf(context.restPose.size());
    for (std::size_t v = 0; v < partOf.size(); ++v)
        partOf[v] = int(v / 16);
    testmesh::animateParts(context, triangles, partOf, 12, 8.0);
    // A little noise, so that the clustering makes bones pruning removes.
    for (int f = 0; f < context.numFrames; ++f)
        for (int v = 0; v < context.numVertices; ++v)
            context.sequence.point(f, v)[1] += 0.02 * std::sin(12.9898 * v + 78.233 * f);
    context.rigIterations = 6;
    context.weightItersPerVertex = 0.02;
    context.maxSplit = 4;
    context.pruneScale = 0.5;

    std::string outputs[3];
    std::vector<double> results[3];
    RiggingContext runs[3] = {context, context, context};
    runs[2].largeTable = 0;
    for (int i = 0; i < 3; ++i) {
        std::ostringstream console;
        runs[i].console = &console;
        std::string error;
        ASSERT_TRUE(runDecomposition(runs[i], error, i == 1 ? KeptWork::Off : KeptWork::On)) << error;
        outputs[i] = console.str();
        results[i] = state(runs[i]);
    }
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(outputs[0], outputs[i]);
        ASSERT_EQ(results[0].size(), results[i].size());
        EXPECT_EQ(std::memcmp(results[0].data(), results[i].data(), results[0].size() * sizeof(double)), 0) << i;
        EXPECT_EQ(runs[0].vertexBones, runs[i].vertexBones);
        EXPECT_EQ(runs[0].skeleton.adjacency, runs[i].skeleton.adjacency);
    }
    // The comparison covers pruning and joints.
    EXPECT_NE(outputs[0].find("bones remain"), std::string::npos) << outputs[0];
    EXPECT_GT(runs[0].skeleton.jointCount, 0);
}

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
