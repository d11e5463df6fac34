#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "example/creature.h"
#include "io/io_test_files.h"
#include "tools/skinning_check.h"

namespace {

TEST(Creature, IsAClosedSurfaceWithASkinnedSkeletonAndASeededAnimation)
{
    Creature c;
    buildCreature(CreatureOptions(), c);
    const RigData& rig = c.rig;
    ASSERT_EQ(c.rest.positions.size(), std::size_t(rig.numVertices) * 3);
    ASSERT_EQ(rig.numBones, 11);
    ASSERT_EQ(rig.joints.size(), 10u);
    // Closed and consistently oriented: every directed edge once, its reverse
    // too; outward normals enclose a positive volume.
    const std::vector<int>& t = c.rest.triangles;
    const std::vector<double>& p = c.rest.positions;
    std::set<std::pair<int, int>> edges;
    double volume = 0.0;
    for (std::size_t k = 0; k < t.size(); k += 3) {
        for (std::size_t e = 0; e < 3; ++e)
            ASSERT_TRUE(t[k + e] != t[k + (e + 1) % 3] && edges.insert({t[k + e], t[k + (e + 1) % 3]}).second);
        const double *a = &p[std::size_t(t[k]) * 3], *b = &p[std::size_t(t[k + 1]) * 3], *d = &p[std::size_t(t[k + 2]) * 3];
        volume += a[0] * (b[1] * d[2] - b[2] * d[1]) - a[1] * (b[0] * d[2] - b[2] * d[0]) + a[2] * (b[0] * d[1] - b[1] * d[0]);
    }
    for (const auto& [a, b] : edges)
        ASSERT_TRUE(edges.count({b, a})) << a << " " << b;
    EXPECT_GT(volume / 6.0, 0.1);
    for (const auto& row : rig.weights) { // more than four, or none, would show in the export test
        double sum = 0.0;
        for (const RigInfluence& w : row)
            sum += w.weight;
        EXPECT_NEAR(sum, 1.0, 1e-12);
    }
    // Both bones of a joint carry it to the same place in every frame.
    for (int f = 0; f < rig.numFrames; ++f)
        for (const RigJoint& joint : rig.joints)
            for (int r = 0; r < 3; ++r) {
                const double *m = &rig.transforms[std::size_t(f * rig.numBones + joint.a) * 12], *q = joint.position;
                const double *n = &rig.transforms[std::size_t(f * rig.numBones + joint.b) * 12];
                EXPECT_NEAR(m[r * 3] * q[0] + m[r * 3 + 1] * q[1] + m[r * 3 + 2] * q[2] + m[9 + r],
                            n[r * 3] * q[0] + n[r * 3 + 1] * q[1] + n[r * 3 + 2] * q[2] + n[9 + r], 1e-12);
            }
    // The seed decides the animation, not the body; the body moves.
    Creature same, other;
    buildCreature(CreatureOptions(), same);
    buildCreature(CreatureOptions{2, 30}, other);
    EXPECT_TRUE(c.frames == same.frames && c.frames != other.frames && c.rest.positions == other.rest.positions);
    double moved = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i)
        moved = std::max(moved, std::abs(c.frames[i] - p[i]));
    EXPECT_GT(moved, 0.1);
}

TEST(MakeExample, WritesInputsThatTheTruthRigReproduces)
{
    ScratchFolder dir;
    const std::string tool = quote(TOLVAN_MAKE_EXAMPLE);
    CommandResult r = runCommand(dir, tool + " --frames 20 out");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    RigData rig;
    ObjMesh rest;
    std::string error;
    ASSERT_TRUE(readRigFile(dir.at("out/creature.truth.rig.txt"), rig, error)) << error;
    ASSERT_TRUE(readObjMesh(dir.at("out/creature.rest.obj"), true, rest, error)) << error;
    std::istringstream seq(readWholeFile(dir.at("out/creature.anim.txt")));
    int nF = 0, nV = 0;
    seq >> nF >> nV;
    ASSERT_TRUE(nF == 20 && nV == rig.numVertices);
    std::vector<double> frames(std::size_t(nF) * std::size_t(nV) * 3);
    for (double& x : frames)
        seq >> x;
    ASSERT_FALSE(seq.fail());
    auto frame = [&](int f) { return std::vector<double>(frames.begin() + f * nV * 3, frames.begin() + (f + 1) * nV * 3); };
    EXPECT_LT(skinningError(rest, rig, frame), 1e-7);

    // Bad arguments, and a folder that cannot be made, leave nothing behind.
    EXPECT_EQ(runCommand(dir, tool).exitCode, 1);
    r = runCommand(dir, tool + " --frames 50 a");
    EXPECT_TRUE(r.exitCode == 1 && r.err.find("between 20 and 40") != std::string::npos) << r.err;
    EXPECT_EQ(runCommand(dir, tool + " --seed x a").exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.at("a")));
    dir.file("file", "x");
    r = runCommand(dir, tool + " file/sub");
    EXPECT_TRUE(r.exitCode == 1 && r.err.find("cannot create") != std::string::npos) << r.err;
}

} // namespace
