#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <utility>

#include "creature.h"
#include "tool_test_support.h"

namespace {

using tooltest::ScratchDir;

double boxDiagonal(const std::vector<double>& p)
{
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (std::size_t i = 0; i < p.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], p[i]);
        hi[i % 3] = std::max(hi[i % 3], p[i]);
    }
    return std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) + (hi[2] - lo[2]) * (hi[2] - lo[2]));
}

TEST(Creature, IsOneClosedConsistentlyOrientedSurface)
{
    Creature c;
    buildCreature(CreatureOptions(), c);
    const int nV = c.rig.numVertices;
    EXPECT_GE(nV, 1000);
    EXPECT_LE(nV, 3000);
    ASSERT_EQ(c.rest.positions.size(), std::size_t(nV) * 3);
    const std::vector<int>& t = c.rest.triangles;
    // Closed and consistently oriented: every directed edge once, its reverse once.
    std::set<std::pair<int, int>> edges;
    for (std::size_t k = 0; k < t.size(); k += 3) {
        ASSERT_TRUE(t[k] != t[k + 1] && t[k + 1] != t[k + 2] && t[k + 2] != t[k]);
        for (int e = 0; e < 3; ++e)
            ASSERT_TRUE(edges.insert({t[k + std::size_t(e)], t[k + std::size_t((e + 1) % 3)]}).second);
    }
    for (const auto& [a, b] : edges)
        ASSERT_TRUE(edges.count({b, a})) << a << " " << b;
    // One piece: a flood fill over the edges reaches every vertex.
    std::vector<std::vector<int>> adjacent(static_cast<std::size_t>(nV));
    for (const auto& [a, b] : edges)
        adjacent[std::size_t(a)].push_back(b);
    std::vector<bool> seen(std::size_t(nV), false);
    std::vector<int> stack = {0};
    seen[0] = true;
    int reached = 0;
    while (!stack.empty()) {
        int v = stack.back();
        stack.pop_back();
        ++reached;
        for (int w : adjacent[std::size_t(v)])
            if (!seen[std::size_t(w)]) {
                seen[std::size_t(w)] = true;
                stack.push_back(w);
            }
    }
    EXPECT_EQ(reached, nV);
    // Outward normals: the enclosed volume is positive.
    double volume = 0.0;
    const std::vector<double>& p = c.rest.positions;
    for (std::size_t k = 0; k < t.size(); k += 3) {
        const double* a = &p[std::size_t(t[k]) * 3];
        const double* b = &p[std::size_t(t[k + 1]) * 3];
        const double* d = &p[std::size_t(t[k + 2]) * 3];
        volume += a[0] * (b[1] * d[2] - b[2] * d[1]) - a[1] * (b[0] * d[2] - b[2] * d[0]) + a[2] * (b[0] * d[1] - b[1] * d[0]);
    }
    EXPECT_GT(volume / 6.0, 0.1);
}

TEST(Creature, WeightsAreSparseConvexAndEveryBoneGovernsVertices)
{
    Creature c;
    buildCreature(CreatureOptions(), c);
    std::vector<int> dominant(std::size_t(c.rig.numBones), 0);
    int blended = 0;
    for (const auto& row : c.rig.weights) {
        ASSERT_GE(row.size(), 1u);
        ASSERT_LE(row.size(), 4u);
        double sum = 0.0;
        for (std::size_t k = 0; k < row.size(); ++k) {
            EXPECT_GT(row[k].weight, 0.0);
            if (k > 0) {
                EXPECT_LT(row[k - 1].bone, row[k].bone);
            }
            sum += row[k].weight;
            if (row[k].weight > 0.5)
                ++dominant[std::size_t(row[k].bone)];
        }
        EXPECT_NEAR(sum, 1.0, 1e-12);
        blended += row.size() > 1;
    }
    for (int j = 0; j < c.rig.numBones; ++j)
        EXPECT_GE(dominant[std::size_t(j)], 40) << "bone " << j;
    EXPECT_GE(blended, 200); // smooth transitions at the joints, not hard cuts
}

TEST(Creature, BonesAreRigidAndMeetAtTheirJointsInEveryFrame)
{
    Creature c;
    buildCreature(CreatureOptions(), c);
    const RigData& rig = c.rig;
    ASSERT_EQ(rig.numBones, 11);
    ASSERT_EQ(rig.joints.size(), 10u);
    for (int f = 0; f < rig.numFrames; ++f) {
        for (int j = 0; j < rig.numBones; ++j) {
            const double* m = rig.transforms.data() + (std::size_t(f) * rig.numBones + std::size_t(j)) * 12;
            for (int a = 0; a < 3; ++a)
                for (int b = 0; b < 3; ++b) {
                    double dot = m[a] * m[b] + m[3 + a] * m[3 + b] + m[6 + a] * m[6 + b];
                    EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-12);
                }
        }
        // Both bones of a joint carry the joint to the same place.
        for (const RigJoint& joint : rig.joints) {
            for (int r = 0; r < 3; ++r) {
                double moved[2];
                for (int side = 0; side < 2; ++side) {
                    const double* m = rig.transforms.data() + (std::size_t(f) * rig.numBones + std::size_t(side ? joint.b : joint.a)) * 12;
                    moved[side] = m[r * 3] * joint.position[0] + m[r * 3 + 1] * joint.position[1] + m[r * 3 + 2] * joint.position[2] + m[9 + r];
                }
                EXPECT_NEAR(moved[0], moved[1], 1e-12);
            }
        }
    }
}

TEST(Creature, SameSeedSameAnimationOtherSeedOtherAnimation)
{
    Creature a, b, d;
    CreatureOptions options;
    options.seed = 42;
    options.numFrames = 24;
    buildCreature(options, a);
    buildCreature(options, b);
    options.seed = 43;
    buildCreature(options, d);
    EXPECT_EQ(a.rig.numFrames, 24);
    EXPECT_EQ(a.frames, b.frames);
    EXPECT_EQ(a.rest.positions, d.rest.positions);
    EXPECT_NE(a.frames, d.frames);
    // The animation is not the rest pose standing still.
    double moved = 0.0;
    for (std::size_t i = 0; i < a.rest.positions.size(); ++i)
        moved = std::max(moved, std::abs(a.frames[i] - a.rest.positions[i]));
    EXPECT_GT(moved, 0.1);
}

TEST(MakeExample, WritesInputsThatTheTruthRigReproduces)
{
    ScratchDir dir;
    auto r = tooltest::runCommand(dir, std::string(TOLVAN_MAKE_EXAMPLE) + " --frames 20 " + tooltest::quote(dir / "out"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    RigData rig;
    ObjMesh rest;
    std::string error;
    ASSERT_TRUE(readRigFile(dir / "out/creature.truth.rig.txt", rig, error)) << error;
    ASSERT_TRUE(readObjMesh(dir / "out/creature.rest.obj", true, rest, error)) << error;
    // The rest pose holds nothing but "v x y z" and "f a b c" lines.
    std::istringstream restText(tooltest::readText(dir / "out/creature.rest.obj"));
    std::string line;
    while (std::getline(restText, line)) {
        std::istringstream fields(line);
        std::string key, extra;
        double x, y, z;
        fields >> key >> x >> y >> z;
        ASSERT_TRUE((key == "v" || key == "f") && !fields.fail() && !(fields >> extra)) << line;
    }
    std::istringstream seq(tooltest::readText(dir / "out/creature.anim.txt"));
    int nF = 0, nV = 0;
    seq >> nF >> nV;
    ASSERT_EQ(nF, 20);
    ASSERT_EQ(nV, rig.numVertices);
    ASSERT_EQ(rest.positions.size(), std::size_t(nV) * 3);
    const double diagonal = boxDiagonal(rest.positions);
    double worst = 0.0;
    for (int f = 0; f < nF; ++f)
        for (int v = 0; v < nV; ++v) {
            double expected[3], observed[3];
            skinPoint(rig, f, v, &rest.positions[std::size_t(v) * 3], expected);
            seq >> observed[0] >> observed[1] >> observed[2];
            for (int k = 0; k < 3; ++k)
                worst = std::max(worst, std::abs(observed[k] - expected[k]));
        }
    ASSERT_FALSE(seq.fail());
    EXPECT_LT(worst / diagonal, 1e-7);
}

TEST(MakeExample, RefusesBadArgumentsAndLeavesNothingBehind)
{
    ScratchDir dir;
    std::string tool = TOLVAN_MAKE_EXAMPLE;
    EXPECT_EQ(tooltest::runCommand(dir, tool).exitCode, 1);
    auto r = tooltest::runCommand(dir, tool + " --frames 50 " + tooltest::quote(dir / "a"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("between 20 and 40"), std::string::npos);
    EXPECT_EQ(tooltest::runCommand(dir, tool + " --seed x " + tooltest::quote(dir / "a")).exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "a"));
    // A folder that cannot be made: a plain file is in the way.
    tooltest::writeText(dir / "file", "x");
    r = tooltest::runCommand(dir, tool + " " + tooltest::quote(dir / "file/sub"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot create"), std::string::npos);
}

} // namespace
