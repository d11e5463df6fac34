#include <gtest/gtest.h>

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

TEST(LbgVq, TwoRigidHalvesBecomeTwoBones)
{
    InitRun run;
    Triangles triangles;
    testmesh::makeBar(10, 0, run.context.restPose, triangles);
    testmesh::animateParts(run.context, triangles, halves(40), 12, 4.5);
    run.init(5);
    ASSERT_TRUE(run.ok);
    ASSERT_EQ(run.context.bones.size(), 2u);
    for (int v = 0; v < 40; ++v) {
        const Vector& w = run.context.weights[v];
        ASSERT_EQ(w.size(), 2u);
        EXPECT_EQ(w[v < 20 ? 0 : 1], 1.0) << "vertex " << v;
        EXPECT_EQ(w[v < 20 ? 1 : 0], 0.0);
    }
}

TEST(LbgVq, ConsoleLinesFollowTheProgress)
{
    InitRun run;
    Triangles triangles;
    testmesh::makeBar(10, 0, run.context.restPose, triangles);
    testmesh::animateParts(run.context, triangles, halves(40), 12, 4.5);
    run.init(2);
    const std::string text = run.out.str();
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "Init - LBG-VQ:");
    std::getline(lines, line);
    EXPECT_TRUE(line.rfind("    Init: Err=", 0) == 0 && line.find("(%) | 1 (bones)") != std::string::npos) << line;
    std::getline(lines, line);
    EXPECT_TRUE(line.rfind("    Split #1.", 0) == 0 && line.find("Err=0.00(%) | 2 (bones)") != std::string::npos)
        << line;
    std::getline(lines, line);
    EXPECT_TRUE(line.rfind("    Split #2.", 0) == 0) << line;
    std::getline(lines, line);
    EXPECT_EQ(line, "Segmentation... Done | 2 (bones)");

    InitRun quiet;
    testmesh::makeBar(10, 0, quiet.context.restPose, triangles);
    testmesh::animateParts(quiet.context, triangles, halves(40), 12, 4.5);
    quiet.params.debugLevel = 0;
    quiet.init(2);
    EXPECT_TRUE(quiet.out.str().empty());
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

} // namespace
