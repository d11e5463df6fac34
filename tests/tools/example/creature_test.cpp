#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "example/creature.h"
#include "io/io_test_files.h"
#include "support/run_files.h"
#include "tools/skinning_check.h"

namespace {

TEST(Creature, IsAClosedSurfaceWithASkinnedSkeletonAndASeededAnimation)
{
    // The bundled creature, a finer one (openings and legs cut at another
    // resolution) and one whose motion is soft, not exactly skinned.
    const struct { CreatureOptions options; int minVertices, maxVertices; } cases[] = {
        {CreatureOptions(), 1766, 1766}, {CreatureOptions{1, 12, 2.5, 0.0}, 1766 * 6, 1766 * 7}, {CreatureOptions{1, 12, 1.0, 0.03}, 1766, 1766}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.options.detail + test.options.soft);
        Creature c;
        buildCreature(test.options, c);
        const RigData& rig = c.rig;
        ASSERT_TRUE(rig.numVertices >= test.minVertices && rig.numVertices <= test.maxVertices) << rig.numVertices;
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
        EXPECT_NEAR(volume / 6.0, 0.574, 0.02) << volume / 6.0; // the same body at every resolution
        testrun::expectWeightRows(rig, 4, 1e-12);
        // Both bones of a joint carry it to the same place in every frame.
        for (int f = 0; f < rig.numFrames; ++f)
            for (const RigJoint& joint : rig.joints)
                for (int r = 0; r < 3; ++r) {
                    const double *m = &rig.transforms[std::size_t(f * rig.numBones + joint.a) * 12], *q = joint.position;
                    const double *n = &rig.transforms[std::size_t(f * rig.numBones + joint.b) * 12];
                    EXPECT_NEAR(m[r * 3] * q[0] + m[r * 3 + 1] * q[1] + m[r * 3 + 2] * q[2] + m[9 + r],
                                n[r * 3] * q[0] + n[r * 3 + 1] * q[1] + n[r * 3 + 2] * q[2] + n[9 + r], 1e-12);
                }
        // The soft motion (eight waves of amplitude soft/√8 each) stays within
        // 3·soft of the skinned one and moves every vertex off it at some time.
        const double soft = test.options.soft;
        for (int v = 0; v < rig.numVertices; ++v) {
            double largest = 0.0;
            for (int f = 0; f < rig.numFrames; ++f) {
                double e[3];
                skinPoint(rig, f, v, &p[std::size_t(v) * 3], e);
                const double* x = &c.frames[(std::size_t(f) * rig.numVertices + v) * 3];
                largest = std::max(largest, std::hypot(x[0] - e[0], x[1] - e[1], x[2] - e[2]));
            }
            ASSERT_TRUE(soft == 0.0 ? largest < 1e-12 : largest > 0.1 * soft && largest <= 3.0 * soft) << v << " " << largest;
        }
    }
    // The seed decides the animation, not the body; the body moves.
    Creature c, same, other;
    buildCreature(CreatureOptions(), c);
    buildCreature(CreatureOptions(), same);
    buildCreature(CreatureOptions{2, 30}, other);
    EXPECT_TRUE(c.frames == same.frames && c.frames != other.frames && c.rest.positions == other.rest.positions);
    double moved = 0.0;
    for (std::size_t i = 0; i < c.rest.positions.size(); ++i)
        moved = std::max(moved, std::abs(c.frames[i] - c.rest.positions[i]));
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
    PointTable sequence;
    ASSERT_TRUE(readSequence(dir.at("out/creature.anim.txt"), sequence, error)) << error;
    ASSERT_TRUE(sequence.rows == 20 && sequence.columns == rig.numVertices);
    EXPECT_LT(skinningError(rest, rig, [&](int f) { return frameOf(sequence, f); }), 1e-7);

    // Bad arguments, and a folder that cannot be made, leave nothing behind.
    EXPECT_EQ(runCommand(dir, tool).exitCode, 1);
    for (const char* bad : {"--frames 5", "--frames 1001", "--seed x", "--detail 0.5", "--detail 9", "--detail nan",
                            "--soft -0.01", "--soft 0.2", "--soft 1e"}) {
        r = runCommand(dir, tool + " " + bad + " a");
        const std::string option = std::string(bad).substr(0, std::string(bad).find(' '));
        EXPECT_TRUE(r.exitCode == 1 && r.err.find(option) != std::string::npos) << bad << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.at("a")));
    dir.file("file", "x");
    r = runCommand(dir, tool + " file/sub");
    EXPECT_TRUE(r.exitCode == 1 && r.err.find("cannot create") != std::string::npos) << r.err;
}

} // namespace
