#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

#include "run/driver.h"
#include "support/bar_mesh.h"
#include "weights/smooth_weights.h"

namespace {

// Every number a run leaves behind, flattened for a bitwise comparison.
std::vector<double> state(const RiggingContext& c)
{
    std::vector<double> out;
    flattenBoneTransforms(c.bones, c.numFrames, out);
    for (const Vector& row : c.weights)
        out.insert(out.end(), row.begin(), row.end());
    out.insert(out.end(), c.residuals.values.begin(), c.residuals.values.end());
    out.insert(out.end(), c.jointTable.values.begin(), c.jointTable.values.end());
    out.push_back(c.fitError);
    out.push_back(c.jointError);
    return out;
}

// Two whole runs on one bent bar, one keeping the weight passes' work while
// the bones stay unchanged and one redoing it: the same bits and the same
// console output, through pruning and the stage with joints.
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

    std::string outputs[2];
    std::vector<double> results[2];
    RiggingContext runs[2] = {context, context};
    for (int i = 0; i < 2; ++i) {
        std::ostringstream console;
        runs[i].console = &console;
        std::string error;
        ASSERT_TRUE(runDecomposition(runs[i], error, i == 0 ? KeptWork::On : KeptWork::Off)) << error;
        outputs[i] = console.str();
        results[i] = state(runs[i]);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    ASSERT_EQ(results[0].size(), results[1].size());
    EXPECT_EQ(std::memcmp(results[0].data(), results[1].data(), results[0].size() * sizeof(double)), 0);
    EXPECT_EQ(runs[0].vertexBones, runs[1].vertexBones);
    EXPECT_EQ(runs[0].skeleton.adjacency, runs[1].skeleton.adjacency);
    // The comparison covers pruning and joints.
    EXPECT_NE(outputs[0].find("bones remain"), std::string::npos) << outputs[0];
    EXPECT_GT(runs[0].skeleton.jointCount, 0);
}

} // namespace
