#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

#include "linalg/least_squares.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"
#include "weights/weights_fixture.h"

namespace {

void expectTranspose(const RiggingContext& c)
{
    ASSERT_EQ(c.boneVertices.size(), std::size_t(c.numBones));
    std::vector<std::vector<int>> expected(c.numBones);
    for (int v = 0; v < c.numVertices; ++v)
        for (int b : c.vertexBones[v])
            expected[b].push_back(v);
    for (int b = 0; b < c.numBones; ++b)
        EXPECT_EQ(c.boneVertices[b], expected[b]) << "bone " << b;
}

// Every bone of vertex v, best first, scored with transformPoint and the
// unrestricted prior.
std::vector<int> referenceOrder(const RiggingContext& c, int v)
{
    std::vector<std::pair<double, int>> records;
    Vector g;
    smoothedWeightVector(c, v, g, false);
    for (int j = 0; j < c.numBones; ++j) {
        double score = 0.0;
        for (int f = 0; f < c.numFrames; ++f) {
            Vector e = subtractVector3(transformPoint(c.bones[j], f, c.restPose[v]), c.sequence.get(f, v));
            score += e[1] * e[1] + e[0] * e[0] + e[2] * e[2];
        }
        score += c.numFrames * c.omega * ((1 - g[j]) * (1 - g[j]));
        records.push_back({score, j});
    }
    std::stable_sort(records.begin(), records.end(), [](auto& a, auto& b) { return a.first < b.first; });
    std::vector<int> order;
    for (auto& r : records)
        order.push_back(r.second);
    return order;
}

TEST(CandidateBones, UnrestrictedListsEveryBoneBestFirst)
{
    for (double omega : {0.0, 0.05}) {
        RiggingContext c;
        // 11 bones: the last block of bones is only partly filled.
        weights_fixture::makeMesh(c, 24, 11, 7, 3);
        c.bones[9] = c.bones[2];
        c.omega = omega;
        computeSmoothWeights(c);
        selectCandidateBones(c, 11, false);
        for (int v = 0; v < c.numVertices; ++v) {
            std::vector<int> order = referenceOrder(c, v);
            EXPECT_EQ(c.vertexBones[v], order) << "vertex " << v;
            if (omega == 0.0) {
                // Equal scores keep bone order.
                auto at2 = std::find(order.begin(), order.end(), 2);
                ASSERT_NE(at2 + 1, order.end());
                EXPECT_EQ(at2[1], 9);
            }
        }
        expectTranspose(c);
        selectCandidateBones(c, 3, false);
        for (int v = 0; v < c.numVertices; ++v) {
            std::vector<int> order = referenceOrder(c, v);
            order.resize(3);
            EXPECT_EQ(c.vertexBones[v], order);
        }
        expectTranspose(c);
    }
}

// Bones j and j + 5 move the vertex (at the origin, observed at the origin)
// by translations with x and y exchanged: their squared errors are equal
// term by term, so their scores tie exactly and bone order decides.
TEST(CandidateBones, ScoresAreExactFrameByFrameSums)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    RiggingContext c;
    c.numVertices = 1, c.numBones = 10, c.numFrames = 6;
    c.restPose = {makeVector3(0, 0, 0)};
    c.neighbours = {{}};
    resizePointTable(c.sequence, c.numFrames, 1);
    c.bones.resize(10);
    Matrix identity = zeroMatrix3();
    identity[0][0] = identity[1][1] = identity[2][2] = 1.0;
    for (int j = 0; j < 5; ++j)
        for (int f = 0; f < c.numFrames; ++f) {
            double x = u(rng), y = u(rng), z = u(rng);
            c.bones[j].rotations.push_back(identity);
            c.bones[j].translations.push_back(makeVector3(x, y, z));
            c.bones[j + 5].rotations.push_back(identity);
            c.bones[j + 5].translations.push_back(makeVector3(y, x, z));
        }
    computeSmoothWeights(c);
    selectCandidateBones(c, 10, false);
    const std::vector<int>& order = c.vertexBones[0];
    ASSERT_EQ(order.size(), 10u);
    for (int j = 0; j < 5; ++j) {
        auto at = std::find(order.begin(), order.end(), j);
        ASSERT_NE(at + 1, order.end());
        EXPECT_EQ(at[1], j + 5) << "bone " << j;
    }
}

TEST(CandidateBones, RestrictedTakesOnlyBonesTouchingTheDominantOne)
{
    RiggingContext c;
    // Vertices 3b .. 3b+2 are dominated by bone b; a chain linking each vertex
    // to the next two puts bone b in contact with b − 1 and b + 1 only.
    weights_fixture::makeMesh(c, 12, 4, 5, 5);
    for (int v = 0; v < 12; ++v) {
        int b = v / 3;
        c.vertexBones[v] = {(b + 1) % 4, b};
        c.weights[v] = Vector(4, 0.0);
        c.weights[v][(b + 1) % 4] = 0.4;
        c.weights[v][b] = 0.6;
    }
    // Equal weights: the first listed bone is dominant, here bone 1.
    c.weights[0][1] = 0.6;
    computeSmoothWeights(c);
    selectCandidateBones(c, 4, true);
    auto asSet = [](const std::vector<int>& l) { return std::set<int>(l.begin(), l.end()); };
    EXPECT_EQ(asSet(c.vertexBones[0]), (std::set<int>{0, 1, 2}));
    EXPECT_EQ(asSet(c.vertexBones[1]), (std::set<int>{0, 1}));
    EXPECT_EQ(asSet(c.vertexBones[4]), (std::set<int>{0, 1, 2}));
    EXPECT_EQ(asSet(c.vertexBones[7]), (std::set<int>{1, 2, 3}));
    EXPECT_EQ(asSet(c.vertexBones[11]), (std::set<int>{2, 3}));
    expectTranspose(c);
}

TEST(WeightSolve, StartPointIsNormalisedOrEven)
{
    Vector row = {0.0002, 0.3, 0.0008, 0.1};
    Vector start;
    solveStartPoint(row, {0, 2}, start); // sums to exactly 0.001
    ASSERT_EQ(start.size(), 2u);
    EXPECT_EQ(start[0], 0.5);
    EXPECT_EQ(start[1], 0.5);
    solveStartPoint(row, {3, 1, 2}, start);
    ASSERT_EQ(start.size(), 3u);
    double sum = 0.1 + 0.3 + 0.0008;
    EXPECT_EQ(start[0], 0.1 / sum);
    EXPECT_EQ(start[1], 0.3 / sum);
    row[1] = std::nan("");
    solveStartPoint(row, {0, 1, 3}, start);
    EXPECT_EQ(start[2], 1.0 / 3);
}

TEST(WeightSolve, SingleCandidateGetsExactlyOne)
{
    RiggingContext c;
    weights_fixture::makeMesh(c, 20, 5, 6, 9);
    computeSmoothWeights(c);
    c.weights[4] = Vector(5, 0.0); // even start
    selectCandidateBones(c, 1, false);
    solveWeights(c, 1);
    for (int v = 0; v < c.numVertices; ++v)
        for (int j = 0; j < c.numBones; ++j)
            EXPECT_EQ(c.weights[v][j], j == c.vertexBones[v][0] ? 1.0 : 0.0);
}

TEST(WeightSolve, VertexReproducedByOneBoneGetsWeightOneThere)
{
    RiggingContext c;
    weights_fixture::makeMesh(c, 10, 3, 6, 13);
    // Vertex 5 moves exactly with bone 1 and its neighbours weigh fully on it.
    for (int f = 0; f < c.numFrames; ++f)
        c.sequence.set(f, 5, transformPoint(c.bones[1], f, c.restPose[5]));
    for (int u : c.neighbours[5]) {
        c.weights[u] = makeVector3(0, 1, 0);
        c.vertexBones[u] = {1};
    }
    c.weights[5] = makeVector3(0.2, 0.3, 0.5);
    c.vertexBones[5] = {0, 1, 2};
    computeSmoothWeights(c);
    selectCandidateBones(c, 2, true);
    ASSERT_EQ(c.vertexBones[5][0], 1);
    c.vertexBones[5] = {0, 1}; // the solve must move the weight onto bone 1
    for (int u : c.neighbours[5])
        c.vertexBones[u] = {1};
    solveWeights(c, 2);
    EXPECT_NEAR(c.weights[5][1], 1.0, 1e-12);
    EXPECT_NEAR(c.weights[5][0], 0.0, 1e-12);
    EXPECT_EQ(c.weights[5][2], 0.0);
}

// The solve must give exactly what the explicit (3F + n) x n system gives,
// vertex after vertex; with omega 0 that is the fit rows alone.
TEST(WeightSolve, MatchesTheExplicitSystemBitForBit)
{
    // A large omega lets the last bit of s·s show in the result.
    for (double omega : {0.0, 0.003, 2.0}) {
        RiggingContext c;
        weights_fixture::makeMesh(c, 30, 6, 8, 17);
        c.omega = omega;
        computeSmoothWeights(c);
        selectCandidateBones(c, 3, true);
        RiggingContext ref = c;
        solveWeights(c, 3);

        buildZeroSumBases(3);
        const int F = ref.numFrames;
        const double s = std::sqrt(F * omega);
        for (int v = 0; v < ref.numVertices; ++v) {
            const std::vector<int>& list = ref.vertexBones[v];
            int n = int(list.size()), rows = omega == 0.0 ? 3 * F : 3 * F + n;
            Matrix A;
            resizeMatrix(A, rows, n);
            Vector y(rows, 0.0), g, a;
            for (int f = 0; f < F; ++f)
                for (int i = 0; i < n; ++i) {
                    Vector q = transformPoint(ref.bones[list[i]], f, ref.restPose[v]);
                    for (int r = 0; r < 3; ++r) {
                        A[3 * f + r][i] = q[r];
                        y[3 * f + r] = ref.sequence.get(f, v)[r];
                    }
                }
            smoothedWeightVector(ref, v, g, true);
            for (int i = 0; i < n && rows > 3 * F; ++i) {
                A[3 * F + i][i] = s;
                y[3 * F + i] = s * g[list[i]];
            }
            solveStartPoint(ref.weights[v], list, a);
            solveSimplexLeastSquares(A, y, a);
            ref.weights[v] = Vector(ref.numBones, 0.0);
            for (int i = 0; i < n; ++i)
                ref.weights[v][list[i]] = a[i];
            for (int j = 0; j < ref.numBones; ++j)
                ASSERT_EQ(c.weights[v][j], ref.weights[v][j]) << "omega " << omega << " vertex " << v;
        }
    }
}

TEST(WeightSolve, WeightsStayOnTheSimplexAcrossRounds)
{
    RiggingContext c;
    weights_fixture::makeMesh(c, 60, 6, 10, 21);
    computeSmoothWeights(c);
    selectCandidateBones(c, 1, false);
    solveWeights(c, 1);
    for (int k = 2; k <= 4; ++k)
        for (int round = 0; round < 2; ++round) {
            selectCandidateBones(c, k, true);
            expectTranspose(c);
            solveWeights(c, k);
            for (int v = 0; v < c.numVertices; ++v) {
                const std::vector<int>& list = c.vertexBones[v];
                ASSERT_LE(list.size(), std::size_t(k));
                double sum = 0.0;
                for (int j = 0; j < c.numBones; ++j) {
                    double w = c.weights[v][j];
                    EXPECT_GE(w, 0.0);
                    if (w != 0.0) {
                        EXPECT_NE(std::find(list.begin(), list.end(), j), list.end());
                    }
                    sum += w;
                }
                EXPECT_NEAR(sum, 1.0, 1e-12) << "vertex " << v;
            }
        }
}

} // namespace
