#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "init/lbg_vq.h"
#include "init/segmentation.h"
#include "support/bar_mesh.h"

namespace {

struct InitRun {
    RiggingContext context;
    LbgParams params;
    std::ostringstream out;
    bool ok = false;

    void init(int maxSplit, double diagonal = 10.0)
    {
        params.console = &out;
        ok = initLbgVq(context.restPose, context.neighbours, context.weights, maxSplit, diagonal, context.bones,
                       context.sequence, params);
    }
};

std::vector<int> halves(int n)
{
    std::vector<int> partOf(n);
    for (int v = 0; v < n; ++v)
        partOf[v] = v >= n / 2 ? 1 : 0;
    return partOf;
}

// Two halves that move apart become two bones, each vertex weighted fully on
// its half's; the console follows the progress, and a quiet run prints nothing.
TEST(LbgVq, TwoRigidHalvesBecomeTwoBones)
{
    InitRun run, quiet;
    quiet.params.debugLevel = 0;
    for (InitRun* r : {&run, &quiet}) {
        Triangles triangles;
        testmesh::makeBar(10, 0, r->context.restPose, triangles);
        testmesh::animateParts(r->context, triangles, halves(40), 12, 4.5);
        r->init(2);
        ASSERT_TRUE(r->ok);
    }
    ASSERT_EQ(run.context.bones.size(), 2u);
    for (int v = 0; v < 40; ++v) {
        ASSERT_EQ(run.context.weights[v].size(), 2u);
        EXPECT_EQ(run.context.weights[v][v < 20 ? 0 : 1], 1.0) << "vertex " << v;
        EXPECT_EQ(run.context.weights[v][v < 20 ? 1 : 0], 0.0) << "vertex " << v;
    }
    EXPECT_EQ(quiet.out.str(), "");
    // The progress lines' pieces, in order.
    const std::string text = run.out.str();
    std::size_t at = 0;
    for (const char* piece : {"Init - LBG-VQ:\n    Init: Err=", "(%) | 1 (bones)\n    Split #1.",
                              "Err=0.00(%) | 2 (bones)\n    Split #2.", "Segmentation... Done | 2 (bones)\n"}) {
        at = text.find(piece, at);
        ASSERT_NE(at, std::string::npos) << piece << " in\n" << text;
    }
}

TEST(Segmentation, IslandsInOneClusterBecomeSeparateBonesAndSmallPiecesStayUnweighted)
{
    InitRun run;
    Triangles triangles;
    testmesh::makeBar(3, 0, run.context.restPose, triangles);  // 12 vertices
    testmesh::makeBar(2, 10, run.context.restPose, triangles); // 8 vertices
    run.context.restPose.push_back(makeVector3(20, 0, 0));     // a lone vertex
    testmesh::animateParts(run.context, triangles, std::vector<int>(21, 0), 5, 0);
    run.params.debugLevel = 0;
    run.init(0);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.params.clusterCount, 2);
    EXPECT_EQ(run.context.weights[0][0], 1.0);
    EXPECT_EQ(run.context.weights[12][1], 1.0);
    EXPECT_EQ(run.context.weights[20][0], 0.0);
    EXPECT_EQ(run.context.weights[20][1], 0.0);
}

TEST(LbgVq, FewerThanSixVerticesGiveNoBone)
{
    InitRun run;
    for (int v = 0; v < 5; ++v)
        run.context.restPose.push_back(makeVector3(v, v * v, 1));
    Triangles triangles = {{0, 1, 2}, {2, 3, 4}};
    testmesh::animateParts(run.context, triangles, std::vector<int>(5, 0), 3, 0);
    run.init(5);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.out.str(), "Init - LBG-VQ:\n");
}

TEST(LbgVq, SplitKeepsTheFarHalfAndMovesTheSeedSide)
{
    InitRun run;
    Triangles triangles;
    testmesh::makeBar(4, 0, run.context.restPose, triangles);
    testmesh::animateParts(run.context, triangles, halves(16), 4, 1.5);
    LbgParams& p = run.params;
    p.sequence = &run.context.sequence;
    p.restPose = &run.context.restPose;
    p.bones = &run.context.bones;
    p.numFrames = 4;
    p.numVertices = 16;
    p.clusterCount = 1;
    p.clusters.assign(1, {});
    for (int v = 0; v < 16; ++v)
        p.clusters[0].push_back(v);
    ASSERT_TRUE(refitBones(p));
    splitCluster(p, 0);
    ASSERT_EQ(p.clusterCount, 2);
    // 16 members with distinct-enough distances: floor(15/2) = 7 stay at most.
    EXPECT_LE(p.clusters[0].size(), 7u);
    EXPECT_EQ(p.clusters[0].size() + p.clusters[1].size(), 16u);
    for (std::size_t i = 1; i < p.clusters[0].size(); ++i)
        EXPECT_LT(p.clusters[0][i - 1], p.clusters[0][i]);
}

// E(v, k) as the initialisation defines it, one transformPoint at a time.
double referenceError(const LbgParams& p, int v, int k)
{
    double e = 0.0;
    for (int f = 0; f < p.numFrames; ++f) {
        const Vector d = subtractVector3(transformPoint((*p.bones)[k], f, (*p.restPose)[v]), p.sequence->get(f, v));
        e += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    }
    return e;
}

TEST(LbgVq, AssignmentAndErrorsMatchAPlainSearch)
{
    // 53 vertices (the last tile partly filled), 7 bones of which 5 repeats 2
    // exactly (a tie, lowest index wins) and 6 is far off; the earlier
    // clusters point at the wrong bones, and the last one is out of range.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    RiggingContext c;
    std::vector<Bone> bones(7);
    const int frames = 11, vertices = 53;
    for (Bone& b : bones)
        for (int f = 0; f < frames; ++f) {
            b.rotations.push_back({makeVector3(1 + 0.1 * u(rng), 0.1 * u(rng), 0.1 * u(rng)),
                                   makeVector3(0.1 * u(rng), 1 + 0.1 * u(rng), 0.1 * u(rng)),
                                   makeVector3(0.1 * u(rng), 0.1 * u(rng), 1 + 0.1 * u(rng))});
            b.translations.push_back(makeVector3(0.3 * u(rng), 0.3 * u(rng), 0.3 * u(rng)));
        }
    bones[5] = bones[2];
    for (Vector& t : bones[6].translations)
        t[0] += 50.0;
    resizePointTable(c.sequence, frames, vertices);
    for (int v = 0; v < vertices; ++v) {
        c.restPose.push_back(makeVector3(u(rng), u(rng), u(rng)));
        const Bone& near = bones[v % 6];
        for (int f = 0; f < frames; ++f) {
            Vector x = transformPoint(near, f, c.restPose[v]);
            c.sequence.set(f, v, makeVector3(x[0] + 0.05 * u(rng), x[1], x[2] + 0.05 * u(rng)));
        }
    }
    LbgParams p;
    p.sequence = &c.sequence;
    p.restPose = &c.restPose;
    p.bones = &bones;
    p.numFrames = frames;
    p.numVertices = vertices;
    p.clusterCount = 7;
    p.clusters.assign(8, {});
    for (int v = 0; v < vertices; ++v)
        p.clusters[(v * 5) % 8].push_back(v);
    assignVertices(p);

    std::vector<std::vector<int>> expected(7);
    for (int v = 0; v < vertices; ++v) {
        double best = 1e100;
        int choice = -1;
        for (int k = 0; k < 7; ++k)
            if (referenceError(p, v, k) < best) {
                best = referenceError(p, v, k);
                choice = k;
            }
        expected[choice].push_back(v);
    }
    EXPECT_EQ(p.clusters, expected);
    EXPECT_TRUE(expected[5].empty()); // bone 2 takes every tie

    std::vector<double> errors;
    const double total = clusterErrors(p, errors);
    double sum = 0.0;
    for (int k = 0; k < 7; ++k) {
        double s = 0.0;
        for (int v : expected[k])
            s += referenceError(p, v, k);
        sum += s;
        if (!expected[k].empty())
            EXPECT_EQ(errors[k], std::sqrt(s / double(expected[k].size()) / double(frames))) << "cluster " << k;
        else
            EXPECT_TRUE(std::isnan(errors[k]));
    }
    EXPECT_EQ(total, std::sqrt(sum / double(vertices) / double(frames)));

    // Clusters that share a vertex are summed member by member all the same.
    p.clusters[0].push_back(p.clusters[1][0]);
    const double shared = clusterErrors(p, errors);
    double s0 = 0.0;
    for (int v : p.clusters[0])
        s0 += referenceError(p, v, 0);
    EXPECT_EQ(errors[0], std::sqrt(s0 / double(p.clusters[0].size()) / double(frames)));
    EXPECT_GT(shared, total);
}

} // namespace
