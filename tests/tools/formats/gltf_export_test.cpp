#include <gtest/gtest.h>

#include <array>

#include "formats/gltf_scene.h"
#include "tools/client_skip.h"
#include "tools/gltf_reader.h"
#include "tools/skinning_check.h"

namespace {

using gltftest::Asset;

const std::string convert = quote(TOLVAN_CONVERT) + " ";

// Three bones in a chain, one unlinked bone and `extra` bones that only
// shift, over a strip of quads; some frames mirror a parent, a child or both.
void reflectingRig(ObjMesh& rest, RigData& rig, int extra)
{
    for (int i = 0; i <= 8; ++i)
        for (int k = 0; k < 2; ++k)
            rest.positions.insert(rest.positions.end(), {double(i), double(k), 0.25 * i * k});
    for (int a = 0; a < 16; a += 2)
        rest.triangles.insert(rest.triangles.end(), {a, a + 2, a + 3, a, a + 3, a + 1});
    rig.numBones = 4 + extra;
    rig.numVertices = 18;
    rig.numFrames = 4;
    rig.joints = {RigJoint{0, 1, {2.5, 0.5, 0.0}}, RigJoint{1, 2, {5.0, 0.5, 0.0}}};
    for (int v = 0; v < 18; ++v)
        rig.weights.push_back(v < 6 ? std::vector<RigInfluence>{{0, 0.7}, {1, 0.3}}
                              : v < 12 ? std::vector<RigInfluence>{{1, 0.5}, {2, 0.25}, {3, 0.25}}
                                       : std::vector<RigInfluence>{{2, 0.9}, {3, 0.1}});
    const double c = std::cos(0.7), s = std::sin(0.7);
    const double I[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, turn[9] = {c, -s, 0, s, c, 0, 0, 0, 1};
    const double mirror[9] = {-1, 0, 0, 0, 1, 0, 0, 0, 1}, mirrorTurn[9] = {c, s, 0, s, -c, 0, 0, 0, 1}; // det -1
    const double* plan[4][4] = // [frame][bone]: the linear part
        {{I, turn, turn, I}, {mirror, turn, I, mirrorTurn}, {mirror, mirrorTurn, turn, turn}, {turn, I, mirror, mirror}};
    for (int f = 0; f < 4; ++f)
        for (int j = 0; j < rig.numBones; ++j) {
            rig.transforms.insert(rig.transforms.end(), j < 4 ? plan[f][j] : I, (j < 4 ? plan[f][j] : I) + 9);
            rig.transforms.insert(rig.transforms.end(), {0.1 * f + j, -0.2 * j, 0.3 * f});
        }
}

// Largest angle (radians) between a joint's rest +Y axis and the direction
// from its head to the mean of its children's heads, from the nodes' rest
// placement (world matrices, column-major: +Y is column 1, the head column 3).
double largestBoneAngle(const Asset& asset, int numJoints)
{
    GltfHierarchy h;
    readGltfHierarchy(asset.file, h);
    std::vector<GltfMatrix> world;
    gltfWorldMatrices(h, h.nodes, world);
    double worst = 0.0;
    for (int j = 0; j < numJoints; ++j) {
        const std::vector<std::size_t> children = asset.doc["nodes"][std::size_t(j)].value("children", std::vector<std::size_t>());
        double d[3] = {0, 0, 0}, dot = 0.0;
        for (std::size_t c : children)
            for (int k = 0; k < 3; ++k)
                d[k] += world[c][12 + k] - world[std::size_t(j)][12 + k];
        const double* up = &world[std::size_t(j)][4];
        for (int k = 0; k < 3; ++k)
            dot += up[k] * d[k];
        if (!children.empty())
            worst = std::max(worst, std::acos(std::min(1.0, dot / std::hypot(d[0], d[1], d[2]) / std::hypot(up[0], up[1], up[2]))));
    }
    return worst;
}

struct Export {
    std::string rest, rig, out;
    double fps, tolerance;
    CommandResult result;
};

// Exports the generated example (as .glb and .gltf), the mirrored rig and
// the rigs of the shared meshes that are present.
std::vector<Export> exportAll(const ScratchFolder& dir)
{
    EXPECT_EQ(runCommand(dir, quote(TOLVAN_MAKE_EXAMPLE) + " ex").exitCode, 0);
    ObjMesh rest;
    RigData rig;
    reflectingRig(rest, rig, 0);
    std::vector<Export> all = {
        {dir.at("ex/creature.rest.obj"), dir.at("ex/creature.truth.rig.txt"), dir.at("creature.glb"), 24, 1e-5, {}},
        {dir.at("ex/creature.rest.obj"), dir.at("ex/creature.truth.rig.txt"), dir.at("creature.gltf"), 24, 1e-5, {}},
        {dir.file("m.obj", formatRestPose(rest, 0)), dir.file("m.rig.txt", formatRig(rig, 0, "m")), dir.at("m.glb"), 30, 1e-6, {}}};
    // Tolvan's rigs hold six digits and their rotations are up to 4e-4 off
    // orthogonal where a bone's vertices are nearly flat; a node can only hold
    // the nearest rotation.
    const std::string shared = std::string(TOLVAN_SHARED_DIR) + "/";
    for (auto [mesh, rigFile, tolerance] : {std::tuple{"synthetic-small", "data/synthetic-small/synthetic-small.truth.rig.txt", 1e-6},
                                            std::tuple{"cesium-man-walk", "golden/cases/cesium-default/expected/out.rig.txt", 1e-5},
                                            std::tuple{"horse-gallop", "golden/cases/horse-default/expected/out.rig.txt", 1e-5}}) {
        const std::string restFile = shared + "data/" + mesh + "/" + mesh + ".rest.obj";
        if (std::filesystem::exists(restFile) && std::filesystem::exists(shared + rigFile))
            all.push_back({restFile, shared + rigFile, dir.at(std::string(mesh) + ".glb"), 30, tolerance, {}});
    }
    for (Export& e : all)
        e.result = runCommand(dir, convert + "export-gltf " + quote(e.rest) + " " + quote(e.rig) + " " + quote(e.out) +
                                    (e.fps == 30 ? "" : " --fps 24"));
    return all;
}

TEST(GltfExport, EveryExportReproducesTheRigInEveryFrame)
{
    ScratchFolder dir;
    for (const Export& e : exportAll(dir)) {
        SCOPED_TRACE(e.out);
        ASSERT_EQ(e.result.exitCode, 0) << e.result.err;
        EXPECT_EQ(e.result.err, "");
        ObjMesh rest;
        RigData rig;
        std::string error;
        ASSERT_TRUE(readObjMesh(e.rest, true, rest, error) && readRigFile(e.rig, rig, error)) << error;
        const Asset asset = gltftest::loadAsset(e.out);
        // Sample f sits at time f / fps.
        std::vector<double> times = gltftest::readAccessor(asset, asset.doc["animations"][0]["samplers"][0]["input"]);
        ASSERT_EQ(times.size(), std::size_t(rig.numFrames));
        for (std::size_t f = 0; f < times.size(); ++f)
            EXPECT_EQ(times[f], double(float(double(f) / e.fps)));
        EXPECT_LT(skinningError(rest, rig, [&](int f) { return gltftest::skinnedPositions(asset, f); }), e.tolerance);
    }
    // The creature's trunk carries the most weight, so the joint tree hangs from it.
    Asset asset = gltftest::loadAsset(dir.at("creature.glb"));
    EXPECT_EQ(asset.doc["skins"][0]["skeleton"], 0);
    EXPECT_EQ(asset.doc["nodes"][0]["children"], nlohmann::json({1, 3, 5, 7, 9}));
    EXPECT_EQ(asset.doc["nodes"].size(), 12u);
    EXPECT_EQ(asset.doc["meshes"][0]["name"], "creature");
    // Bones lie along the skeleton: each joint's rest +Y points at its children.
    EXPECT_LT(largestBoneAngle(asset, 11), 1e-6);
    EXPECT_LT(largestBoneAngle(gltftest::loadAsset(dir.at("m.glb")), 4), 1e-6);
    // Mirrored frames are carried by step-sampled scales; groups share a root.
    asset = gltftest::loadAsset(dir.at("m.glb"));
    ASSERT_EQ(asset.doc["nodes"].size(), 6u); // four joints, the mesh, the common root
    EXPECT_EQ(asset.doc["skins"][0]["skeleton"], 5);
    EXPECT_EQ(asset.doc["nodes"][5]["children"], nlohmann::json({2, 3})); // the heaviest bone's group first
    int stepScales = 0;
    for (const auto& channel : asset.doc["animations"][0]["channels"])
        if (channel["target"]["path"] == "scale") {
            EXPECT_EQ(asset.doc["animations"][0]["samplers"][channel["sampler"].get<std::size_t>()]["interpolation"], "STEP");
            ++stepScales;
        }
    EXPECT_EQ(stepScales, 4); // every bone is mirrored relative to its parent in some frame
}

TEST(GltfExport, KeepsTheFourLargestInfluencesAndSaysSo)
{
    ScratchFolder dir;
    ObjMesh rest;
    RigData rig;
    reflectingRig(rest, rig, 2);
    rig.weights[0] = {{0, 0.05}, {1, 0.3}, {2, 0.1}, {3, 0.2}, {4, 0.25}, {5, 0.1}};
    rig.weights[1] = {};
    dir.file("m.obj", formatRestPose(rest, 0));
    dir.file("m.rig.txt", formatRig(rig, 0, "m"));
    CommandResult r = runCommand(dir, convert + "export-gltf m.obj m.rig.txt m.glb");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("1 vertices have more than 4 weights; the 4 largest are kept and renormalised"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 vertices have no weight"), std::string::npos) << r.err;
    // Dropping two weights moves vertex 0: the difference from the rig is told.
    EXPECT_NE(r.err.find("the export differs from the rig's skinning by up to 0.0"), std::string::npos) << r.err;
    const Asset asset = gltftest::loadAsset(dir.at("m.glb"));
    const auto& attributes = asset.doc["meshes"][0]["primitives"][0]["attributes"];
    std::vector<double> joints = gltftest::readAccessor(asset, attributes["JOINTS_0"]);
    std::vector<double> weights = gltftest::readAccessor(asset, attributes["WEIGHTS_0"]);
    // Largest first; the tie between bones 2 and 5 keeps the lower bone.
    EXPECT_EQ(std::vector<double>(joints.begin(), joints.begin() + 4), std::vector<double>({1, 4, 3, 2}));
    EXPECT_FLOAT_EQ(float(weights[0]), float(0.3 / 0.85));
    EXPECT_FLOAT_EQ(float(weights[3]), float(0.1 / 0.85));
    for (std::size_t v = 0; v < weights.size() / 4; ++v) // summed as a viewer sums them
        EXPECT_EQ(float(weights[v * 4]) + float(weights[v * 4 + 1]) + float(weights[v * 4 + 2]) + float(weights[v * 4 + 3]), 1.0f) << v;
    // The vertex without weights follows the root bone (the heaviest, bone 2) alone.
    EXPECT_EQ(joints[4], 2);
    EXPECT_EQ(weights[4], 1.0);
}

TEST(GltfExport, RefusesInputsItCannotExportAndKeepsTheOldOutput)
{
    ScratchFolder dir;
    ObjMesh rest;
    RigData rig;
    reflectingRig(rest, rig, 0);
    dir.file("m.obj", formatRestPose(rest, 0));
    dir.file("m.rig.txt", formatRig(rig, 0, "m"));
    dir.file("m.glb", "old");
    rest.positions.resize(rest.positions.size() - 3);
    rest.triangles.resize(rest.triangles.size() - 6);
    dir.file("short.obj", formatRestPose(rest, 0));
    std::fill(rig.transforms.begin() + 12, rig.transforms.begin() + 21, 0.0);
    dir.file("singular.rig.txt", formatRig(rig, 0, "x"));
    const std::pair<std::string, std::string> cases[] = {
        {"export-gltf short.obj m.rig.txt m.glb", "the rest mesh has 17 vertices but the rig has 18"},
        {"export-gltf m.obj singular.rig.txt m.glb", "bone 1 in frame 0 is not a rigid transformation"},
        {"export-gltf m.obj m.rig.txt m.fbx", "must end in .glb or .gltf"},
        {"export-gltf m.obj m.obj m.glb", "m.obj:1: data before the joints section\ntolvan-convert: m.obj looks like a rest mesh (OBJ), "
                                          "but the second argument should be a rig"},
        {"export-gltf m.rig.txt m.obj m.glb", "m.rig.txt looks like a rig (Tolvan's output), but the first argument should be a rest mesh (OBJ)\n"
                                              "tolvan-convert: m.obj looks like a rest mesh (OBJ), but the second argument should be a rig"},
        {"frobnicate", "unknown command frobnicate"},
        {"--fps 24 export-gltf m.obj m.rig.txt m.glb", "--fps comes before the command; options follow the command's name"},
    };
    for (const auto& [args, message] : cases) {
        CommandResult r = runCommand(dir, convert + args);
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(readWholeFile(dir.at("m.glb")), "old");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.at("m.fbx")));
}

// The Khronos validator (a client: skipped when missing, except under CI).
TEST(ClientValidator, ReportsNoErrorAndNoWarning)
{
    ScratchFolder dir;
    const std::string validate = "node " + quote(std::string(TOLVAN_TOOLS_DIR) + "/clients/validate_gltf.cjs") + " ";
    const CommandResult probe = runCommand(dir, validate);
    TOLVAN_NEED_CLIENT(probe.exitCode == 127 ? "node is not installed"
                       : probe.err.find("not installed") != std::string::npos ? probe.err : "",
                       "scripts/install_deps.sh tests");
    const CommandResult missing = runCommand(dir, validate + "missing.glb");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "missing.glb: cannot read the file (ENOENT)\n");
    const std::vector<Export> all = exportAll(dir);
    for (std::size_t k = 0; k < 3; ++k) { // the example as .glb and .gltf, the mirrored rig
        ASSERT_EQ(all[k].result.exitCode, 0) << all[k].result.err;
        CommandResult r = runCommand(dir, validate + quote(all[k].out));
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.out.find(": 0 errors, 0 warnings"), std::string::npos) << r.out;
    }
}

} // namespace
