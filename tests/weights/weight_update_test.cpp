#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "linalg/least_squares.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"
#include "weights/weights_fixture.h"

namespace {

void expectTranspose(const RiggingContext& c)
{
    std::vector<std::vector<int>> expected(c.numBones);
    for (int v = 0; v < c.numVertices; ++v)
        for (int b : c.vertexBones[v])
            expected[b].push_back(v);
    EXPECT_EQ(c.boneVertices, expected);
}

// Scores are the frame-by-frame sums of transformPoint's squared errors,
// taken as y² + x² + z², plus κ·(1 − g)²; the list is their stable sort.
TEST(CandidateBones, UnrestrictedListsEveryBoneBestFirst)
{
    // 11 bones leave the last block of bones partly filled, 24 vertices the
    // last tile of vertices. With twins, bones 20 .. 39 move vertex 0 (at the
    // origin, observed there) as bones 0 .. 19 do with x and y exchanged:
    // their scores tie exactly and bone order decides.
    for (bool twins : {false, true}) {
        RiggingContext c;
        weights_fixture::makeMesh(c, 24, twins ? 40 : 11, 7, 3);
        c.omega = twins ? 0.0 : 0.05;
        c.restPose[0] = twins ? makeVector3(0, 0, 0) : c.restPose[0];
        for (int f = 0; twins && f < c.numFrames; ++f) {
            c.sequence.set(f, 0, makeVector3(0, 0, 0));
            for (int j = 0; j < 20; ++j)
                c.bones[j + 20].translations[f] = makeVector3(c.bones[j].translations[f][1], c.bones[j].translations[f][0], c.bones[j].translations[f][2]);
        }
        computeSmoothWeights(c);
        selectCandidateBones(c, c.numBones, false, nullptr);
        for (int v = 0; v < c.numVertices; ++v) {
            std::vector<std::pair<double, int>> records;
            Vector g;
            smoothedWeightVector(c, v, g, false);
            for (int j = 0; j < c.numBones; ++j) {
                double score = 0.0;
                for (int f = 0; f < c.numFrames; ++f) {
                    Vector e = subtractVector3(transformPoint(c.bones[j], f, c.restPose[v]), c.sequence.get(f, v));
                    score += e[1] * e[1] + e[0] * e[0] + e[2] * e[2];
                }
                records.push_back({score + c.numFrames * c.omega * ((1 - g[j]) * (1 - g[j])), j});
            }
            std::stable_sort(records.begin(), records.end(), [](auto& a, auto& b) { return a.first < b.first; });
            ASSERT_EQ(c.vertexBones[v].size(), std::size_t(c.numBones));
            for (int i = 0; i < c.numBones; ++i)
                EXPECT_EQ(c.vertexBones[v][i], records[i].second) << "vertex " << v << " rank " << i;
        }
        expectTranspose(c);
    }
}

TEST(CandidateBones, RestrictedTakesOnlyBonesTouchingTheDominantOne)
{
    // Vertices 3b .. 3b+2 are dominated by bone b, so bone b touches b ± 1.
    RiggingContext c;
    weights_fixture::makeMesh(c, 12, 4, 5, 5);
    for (int v = 0; v < 12; ++v) {
        c.vertexBones[v] = {(v / 3 + 1) % 4, v / 3};
        c.weights[v] = Vector(4, 0.0);
        c.weights[v][(v / 3 + 1) % 4] = 0.4;
        c.weights[v][v / 3] = 0.6;
    }
    c.weights[0][1] = 0.6; // equal weights: the first listed bone, 1, dominates
    computeSmoothWeights(c);
    selectCandidateBones(c, 4, true, nullptr);
    auto bonesOf = [&](int v) { return std::set<int>(c.vertexBones[v].begin(), c.vertexBones[v].end()); };
    EXPECT_EQ(bonesOf(0), (std::set<int>{0, 1, 2}));
    EXPECT_EQ(bonesOf(1), (std::set<int>{0, 1}));
    EXPECT_EQ(bonesOf(7), (std::set<int>{1, 2, 3}));
    EXPECT_EQ(bonesOf(11), (std::set<int>{2, 3}));
    expectTranspose(c);
}

TEST(WeightSolve, SingleCandidateAndExactBoneGetWeightOne)
{
    // The start: current weights normalised when they sum above 0.001, else 1/n.
    Vector row = {0.0002, 0.3, 0.0008, std::nan("")}, start;
    solveStartPoint(row, {0, 2}, start); // sums to exactly 0.001
    EXPECT_EQ(start[0], 0.5);
    solveStartPoint(row, {1, 2}, start);
    EXPECT_EQ(start[0], 0.3 / (0.3 + 0.0008));
    solveStartPoint(row, {0, 1, 3}, start);
    EXPECT_EQ(start[1], 1.0 / 3);

    RiggingContext c;
    weights_fixture::makeMesh(c, 20, 5, 6, 9);
    computeSmoothWeights(c);
    c.weights[4] = Vector(5, 0.0); // even start
    selectCandidateBones(c, 1, false, nullptr);
    solveWeights(c, 1, nullptr);
    for (int v = 0; v < c.numVertices; ++v)
        for (int j = 0; j < c.numBones; ++j)
            EXPECT_EQ(c.weights[v][j], j == c.vertexBones[v][0] ? 1.0 : 0.0);

    // Vertex 5 moves exactly with bone 1 and its neighbours weigh fully on it.
    for (int f = 0; f < c.numFrames; ++f)
        c.sequence.set(f, 5, transformPoint(c.bones[1], f, c.restPose[5]));
    for (int u : c.neighbours[5]) {
        c.weights[u] = Vector(5, 0.0);
        c.weights[u][1] = 1.0;
        c.vertexBones[u] = {1};
    }
    c.vertexBones[5] = {0, 1};
    c.weights[5][0] = 0.5, c.weights[5][1] = 0.5;
    solveWeights(c, 2, nullptr);
    EXPECT_NEAR(c.weights[5][1], 1.0, 1e-12);
    EXPECT_NEAR(c.weights[5][0], 0.0, 1e-12);
}

TEST(WeightSolve, MatchesTheExplicitSystemBitForBit)
{
    // omega 0 is the fit alone; with 8 frames, 0.005 and 0.3 give an s·s one
    // bit above numFrames·omega. Lists of five bones take the general sums.
    const std::pair<double, int> cases[] = {{0.0, 3}, {0.005, 3}, {0.3, 3}, {0.0, 5}, {0.3, 5}};
    for (auto [omega, k] : cases) {
        RiggingContext c;
        weights_fixture::makeMesh(c, 30, 6, 8, 17);
        c.omega = omega;
        computeSmoothWeights(c);
        selectCandidateBones(c, k, k < 4, nullptr);
        RiggingContext ref = c;
        solveWeights(c, k, nullptr);
        const int F = ref.numFrames;
        for (int v = 0; v < ref.numVertices; ++v) {
            const std::vector<int>& list = ref.vertexBones[v];
            int n = int(list.size()), rows = omega == 0.0 ? 3 * F : 3 * F + n;
            Matrix A;
            resizeMatrix(A, rows, n);
            Vector y(rows, 0.0), g, a;
            for (int f = 0; f < F; ++f)
                for (int i = 0; i < n; ++i)
                    for (int r = 0; r < 3; ++r) {
                        A[3 * f + r][i] = transformPoint(ref.bones[list[i]], f, ref.restPose[v])[r];
                        y[3 * f + r] = ref.sequence.get(f, v)[r];
                    }
            smoothedWeightVector(ref, v, g, true);
            for (int i = 0; i < n && rows > 3 * F; ++i) {
                A[3 * F + i][i] = std::sqrt(F * omega);
                y[3 * F + i] = std::sqrt(F * omega) * g[list[i]];
            }
            solveStartPoint(ref.weights[v], list, a);
            solveSimplexLeastSquares(A, y, a);
            ref.weights[v] = Vector(ref.numBones, 0.0);
            for (int i = 0; i < n; ++i)
                ref.weights[v][list[i]] = a[i];
            for (int j = 0; j < ref.numBones; ++j)
                ASSERT_EQ(c.weights[v][j], ref.weights[v][j]) << "omega " << omega << " k " << k << " vertex " << v;
        }
    }
}

} // namespace
