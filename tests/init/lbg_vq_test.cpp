#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "init/lbg_vq.h"
#include "init/segmentation.h"
#include "support/bar_mesh.h"
#include "weights/weights_fixture.h"

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

// Two halves that move apart become two bones, each vertex weighted fully on
// its half's; the console follows the progress, and a quiet run prints nothing.
TEST(LbgVq, TwoRigidHalvesBecomeTwoBones)
{
    InitRun run, quiet;
    quiet.params.debugLevel = 0;
    std::vector<int> halves(40, 0);
    std::fill(halves.begin() + 20, halves.end(), 1);
    for (InitRun* r : {&run, &quiet}) {
        Triangles triangles;
        testmesh::makeBar(10, 0, r->context.restPose, triangles);
        testmesh::animateParts(r->context, triangles, halves, 12, 4.5);
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

// The routines' parameters over a context's sequence and rest pose, with
// clusterCount clusters and the given member lists.
LbgParams routineParams(RiggingContext& c, std::vector<Bone>& bones, int clusterCount, std::vector<std::vector<int>> clusters)
{
    LbgParams p;
    p.sequence = &c.sequence;
    p.restPose = &c.restPose;
    p.bones = &bones;
    p.numFrames = c.sequence.rows;
    p.numVertices = c.sequence.columns;
    p.clusterCount = clusterCount;
    p.clusters = std::move(clusters);
    return p;
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

// Sum of E(v, k) over the members, in member order.
double referenceSum(const LbgParams& p, const std::vector<int>& members, int k)
{
    double s = 0.0;
    for (int v : members)
        s += referenceError(p, v, k);
    return s;
}

TEST(LbgVq, AssignmentAndErrorsMatchAPlainSearch)
{
    // 53 vertices (the last tile partly filled), 7 bones of which 5 repeats 2
    // exactly (a tie, lowest index wins) and 6 is far off; the earlier
    // clusters point at the wrong bones, and the last one is out of range.
    RiggingContext c;
    weights_fixture::makeMesh(c, 53, 7, 11, 5);
    std::vector<Bone> bones = c.bones;
    bones[5] = bones[2];
    for (Vector& t : bones[6].translations)
        t[0] += 50.0;
    std::vector<std::vector<int>> clusters(8);
    for (int v = 0; v < 53; ++v)
        clusters[(v * 5) % 8].push_back(v);
    LbgParams p = routineParams(c, bones, 7, clusters);
    assignVertices(p);
    std::vector<std::vector<int>> expected(7);
    for (int v = 0; v < 53; ++v) {
        int choice = 0;
        for (int k = 1; k < 7; ++k)
            choice = referenceError(p, v, k) < referenceError(p, v, choice) ? k : choice;
        expected[choice].push_back(v);
    }
    EXPECT_EQ(p.clusters, expected);
    EXPECT_TRUE(expected[5].empty()); // bone 2 takes every tie

    std::vector<double> errors;
    const double total = clusterErrors(p, errors);
    double sum = 0.0;
    for (int k = 0; k < 7; ++k) {
        const double s = referenceSum(p, expected[k], k);
        sum += s;
        if (!expected[k].empty())
            EXPECT_EQ(errors[k], std::sqrt(s / double(expected[k].size()) / 11.0)) << "cluster " << k;
        else
            EXPECT_TRUE(std::isnan(errors[k]));
    }
    EXPECT_EQ(total, std::sqrt(sum / 53.0 / 11.0));
    // Clusters that share a vertex are summed member by member all the same.
    p.clusters[0].push_back(p.clusters[1][0]);
    EXPECT_GT(clusterErrors(p, errors), total);
    EXPECT_EQ(errors[0], std::sqrt(referenceSum(p, p.clusters[0], 0) / double(p.clusters[0].size()) / 11.0));
}

} // namespace
