#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "init/lbg_vq.h"
#include "io/neighbours.h"
#include "io/rest_pose_file.h"
#include "io/sequence_file.h"
#include "run/driver.h"
#include "skeleton/skeleton_extraction.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"

namespace {

bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// Every number a repetition leaves behind, flattened for a bitwise comparison.
std::vector<double> state(const RiggingContext& c)
{
    std::vector<double> out;
    std::vector<double> flat;
    flattenBoneTransforms(c.bones, c.numFrames, flat);
    out.insert(out.end(), flat.begin(), flat.end());
    for (const Vector& row : c.weights)
        out.insert(out.end(), row.begin(), row.end());
    for (const std::vector<int>& list : c.vertexBones)
        for (int b : list)
            out.push_back(b);
    out.insert(out.end(), c.residuals.values.begin(), c.residuals.values.end());
    out.insert(out.end(), c.jointTable.values.begin(), c.jointTable.values.end());
    out.push_back(c.fitError);
    out.push_back(c.jointError);
    return out;
}

// The driver's stages on two copies of one rig, one keeping the weight-pass
// work between calls and one not: after every repetition, including those
// that prune bones and those with joints, they hold the same bits.
TEST(KeptWork, DecompositionIsTheSameWithAndWithoutIt)
{
    const std::string base = std::string(TOLVAN_SHARED_DIR) + "/data/synthetic-small/synthetic-small";
    RiggingContext plain;
    Triangles triangles;
    std::string error;
    if (!readSequence(base + ".anim.txt", plain.sequence, error) ||
        !readRestPose(base + ".rest.obj", plain.restPose, triangles, error))
        GTEST_SKIP() << "shared data not found: " << error;
    std::ostringstream quiet;
    plain.console = &quiet;
    plain.debugLevel = 0;
    buildNeighbours(int(plain.restPose.size()), triangles, plain.neighbours);
    computeBoundingBox(plain);
    LbgParams params;
    params.debugLevel = 0;
    params.console = &quiet;
    ASSERT_TRUE(initLbgVq(plain.restPose, plain.neighbours, plain.weights, plain.maxSplit, plain.boxDiagonal,
                          plain.bones, plain.sequence, params));
    plain.numFrames = plain.sequence.rows;
    plain.numVertices = plain.sequence.columns;
    computeSmoothWeights(plain);
    RiggingContext kept = plain;
    kept.fitCache.enabled = true;

    int repetitions = 0;
    for (int round = 0; round < 3; ++round) {
        for (RiggingContext* c : {&plain, &kept}) {
            c->numBones = int(c->bones.size());
            c->skeleton.reset(c->numBones);
            resizePointTable(c->jointTable, c->numBones, c->numBones);
            selectCandidateBones(*c, 1, false);
        }
        bool pruned = false;
        for (int k = 1; k <= plain.nnz; ++k) {
            RepsResult a = RepsResult::BoneRemoved;
            while (a == RepsResult::BoneRemoved) {
                a = runReps(plain, k, 1, 0);
                ASSERT_EQ(runReps(kept, k, 1, 0), a);
                ASSERT_TRUE(sameBits(state(plain), state(kept))) << "repetition " << repetitions;
                ++repetitions;
            }
            ASSERT_NE(a, RepsResult::NoBoneLeft);
        }
        extractSkeleton(plain);
        extractSkeleton(kept);
        for (int r = 0; r < 4 && !pruned; ++r) {
            const RepsResult a = runReps(plain, plain.nnz, 1, 1.0 + r);
            ASSERT_EQ(runReps(kept, kept.nnz, 1, 1.0 + r), a);
            ASSERT_TRUE(sameBits(state(plain), state(kept))) << "repetition " << repetitions << " with joints";
            ++repetitions;
            pruned = a != RepsResult::Completed;
        }
        if (!pruned)
            break;
    }
    EXPECT_GE(repetitions, 8);
}

} // namespace
