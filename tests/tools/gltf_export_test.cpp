#include <gtest/gtest.h>

#ifdef TOLVAN_CONVERT

#include <cmath>
#include <filesystem>

#include "creature.h"
#include "gltf_reader.h"
#include "text_output.h"
#include "tool_test_support.h"

namespace {

using tooltest::quote;
using tooltest::ScratchDir;

std::string convert(const std::string& args) { return std::string(TOLVAN_CONVERT) + " " + args; }

double boxDiagonal(const std::vector<double>& p)
{
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (std::size_t i = 0; i < p.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], p[i]);
        hi[i % 3] = std::max(hi[i % 3], p[i]);
    }
    return std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) + (hi[2] - lo[2]) * (hi[2] - lo[2]));
}

// Largest distance, over all frames and vertices, between the glTF's skinned
// mesh and the rig's linear blend skinning of the rest pose, relative to the
// rest pose's box diagonal. Also checks that sample f sits at time f / fps.
double skinningError(const std::string& file, const ObjMesh& rest, const RigData& rig, double fps)
{
    gltftest::Asset asset;
    std::string error;
    EXPECT_TRUE(gltftest::loadAsset(file, asset, error)) << error;
    if (!error.empty())
        return 1e300;
    int width = 0;
    const auto& sampler = asset.doc["animations"][0]["samplers"][0];
    std::vector<double> times = gltftest::readAccessor(asset, sampler["input"].get<int>(), width);
    EXPECT_EQ(times.size(), std::size_t(rig.numFrames));
    for (std::size_t f = 0; f < times.size(); ++f)
        EXPECT_EQ(times[f], double(float(double(f) / fps)));
    double worst = 0.0;
    for (int f = 0; f < rig.numFrames; ++f) {
        std::vector<double> skinned = gltftest::skinnedPositions(asset, f);
        for (int v = 0; v < rig.numVertices; ++v) {
            double expected[3];
            skinPoint(rig, f, v, &rest.positions[std::size_t(v) * 3], expected);
            double d[3];
            for (int k = 0; k < 3; ++k)
                d[k] = skinned[std::size_t(v) * 3 + std::size_t(k)] - expected[k];
            worst = std::max(worst, std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
        }
    }
    return worst / boxDiagonal(rest.positions);
}

// Writes a rest mesh and a rig as files and returns their paths.
void writeInputs(const ScratchDir& dir, const ObjMesh& rest, const RigData& rig, std::string& restFile, std::string& rigFile)
{
    restFile = dir / "rest.obj";
    rigFile = dir / "rig.txt";
    tooltest::writeText(restFile, formatRestPose(rest, 0));
    tooltest::writeText(rigFile, formatRig(rig, 0, "test rig"));
}

TEST(GltfExport, ExampleReproducesTheRigInEveryFrame)
{
    ScratchDir dir;
    auto r = tooltest::runCommand(dir, std::string(TOLVAN_MAKE_EXAMPLE) + " " + quote(dir / "ex"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string rest = dir / "ex/creature.rest.obj", rigFile = dir / "ex/creature.truth.rig.txt";
    ObjMesh mesh;
    RigData rig;
    std::string error;
    ASSERT_TRUE(readObjMesh(rest, true, mesh, error)) << error;
    ASSERT_TRUE(readRigFile(rigFile, rig, error)) << error;
    for (const char* name : {"creature.glb", "creature.gltf"}) {
        r = tooltest::runCommand(dir, convert("export-gltf " + quote(rest) + " " + quote(rigFile) + " " + quote(dir / name) + " --fps 24"));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_LT(skinningError(dir / name, mesh, rig, 24.0), 1e-5) << name;
    }
    gltftest::Asset asset;
    ASSERT_TRUE(gltftest::loadAsset(dir / "creature.glb", asset, error));
    // The trunk carries the most weight, so the joint tree hangs from it.
    EXPECT_EQ(asset.doc["skins"][0]["skeleton"], 0);
    EXPECT_EQ(asset.doc["nodes"][0]["children"], nlohmann::json({1, 3, 5, 7, 9}));
    EXPECT_EQ(asset.doc["nodes"].size(), 12u);
    EXPECT_EQ(asset.doc["meshes"][0]["name"], "creature");
}

// Three bones in a chain and one unlinked bone over a strip of quads; some
// frames mirror a parent, a child or both.
void reflectingRig(ObjMesh& rest, RigData& rig)
{
    const int columns = 8;
    for (int i = 0; i <= columns; ++i)
        for (int k = 0; k < 2; ++k)
            rest.positions.insert(rest.positions.end(), {double(i), double(k), 0.25 * i * k});
    for (int i = 0; i < columns; ++i) {
        int a = 2 * i, b = 2 * i + 1, c = 2 * i + 3, d = 2 * i + 2;
        rest.triangles.insert(rest.triangles.end(), {a, d, c, a, c, b});
    }
    rig.numBones = 4;
    rig.numVertices = int(rest.positions.size() / 3);
    rig.numFrames = 4;
    rig.joints = {RigJoint{0, 1, {2.5, 0.5, 0.0}}, RigJoint{1, 2, {5.0, 0.5, 0.0}}};
    for (int v = 0; v < rig.numVertices; ++v) {
        int column = v / 2;
        if (column < 3)
            rig.weights.push_back({{0, 0.7}, {1, 0.3}});
        else if (column < 6)
            rig.weights.push_back({{1, 0.5}, {2, 0.25}, {3, 0.25}});
        else
            rig.weights.push_back({{2, 0.9}, {3, 0.1}});
    }
    const double c = std::cos(0.7), s = std::sin(0.7);
    const double turn[9] = {c, -s, 0, s, c, 0, 0, 0, 1};
    const double mirror[9] = {-1, 0, 0, 0, 1, 0, 0, 0, 1};          // det -1
    const double mirrorTurn[9] = {c, s, 0, s, -c, 0, 0, 0, 1};      // turn · diag(1, -1, 1)
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    // frame: linear part of bones 0 .. 3
    const double* plan[4][4] = {{identity, turn, turn, identity},
                                {mirror, turn, identity, mirrorTurn},
                                {mirror, mirrorTurn, turn, turn},
                                {turn, identity, mirror, mirror}};
    for (int f = 0; f < 4; ++f)
        for (int j = 0; j < 4; ++j) {
            rig.transforms.insert(rig.transforms.end(), plan[f][j], plan[f][j] + 9);
            rig.transforms.insert(rig.transforms.end(), {0.1 * f + j, -0.2 * j, 0.3 * f});
        }
}

TEST(GltfExport, ReflectionsAreCarriedExactlyAndGroupsShareARoot)
{
    ScratchDir dir;
    ObjMesh rest;
    RigData rig;
    reflectingRig(rest, rig);
    std::string restFile, rigFile;
    writeInputs(dir, rest, rig, restFile, rigFile);
    auto r = tooltest::runCommand(dir, convert("export-gltf " + quote(restFile) + " " + quote(rigFile) + " " + quote(dir / "m.glb")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("reflected bone frames"), std::string::npos) << r.out;
    // Only float rounding separates the two.
    EXPECT_LT(skinningError(dir / "m.glb", rest, rig, 30.0), 1e-6);
    gltftest::Asset asset;
    std::string error;
    ASSERT_TRUE(gltftest::loadAsset(dir / "m.glb", asset, error));
    const auto& nodes = asset.doc["nodes"];
    ASSERT_EQ(nodes.size(), 6u); // four joints, the mesh, the common root
    EXPECT_EQ(asset.doc["skins"][0]["skeleton"], 5);
    EXPECT_EQ(nodes[5]["children"], nlohmann::json({2, 3})); // the heaviest bone's group first
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
    ScratchDir dir;
    ObjMesh rest;
    RigData rig;
    reflectingRig(rest, rig);
    // Vertex 0 gets six bones' worth of weights (bones 4 and 5 are new).
    rig.numBones = 6;
    std::vector<double> transforms;
    for (int f = 0; f < rig.numFrames; ++f) {
        for (int j = 0; j < 4; ++j)
            transforms.insert(transforms.end(), rig.transforms.begin() + (f * 4 + j) * 12, rig.transforms.begin() + (f * 4 + j + 1) * 12);
        for (int j = 4; j < 6; ++j)
            transforms.insert(transforms.end(), {1, 0, 0, 0, 1, 0, 0, 0, 1, double(j), 0, 0});
    }
    rig.transforms = transforms;
    rig.weights[0] = {{0, 0.05}, {1, 0.3}, {2, 0.1}, {3, 0.2}, {4, 0.25}, {5, 0.1}};
    rig.weights[1] = {};
    std::string restFile, rigFile;
    writeInputs(dir, rest, rig, restFile, rigFile);
    auto r = tooltest::runCommand(dir, convert("export-gltf " + quote(restFile) + " " + quote(rigFile) + " " + quote(dir / "m.glb")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("1 vertices have more than 4 weights; the 4 largest are kept and renormalised"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 vertices have no weight"), std::string::npos) << r.err;
    // Dropping two weights moves vertex 0: the difference from the rig is told.
    EXPECT_NE(r.err.find("the export differs from the rig's skinning by up to 0.0"), std::string::npos) << r.err;
    gltftest::Asset asset;
    std::string error;
    ASSERT_TRUE(gltftest::loadAsset(dir / "m.glb", asset, error));
    const auto& attributes = asset.doc["meshes"][0]["primitives"][0]["attributes"];
    int width = 0;
    std::vector<double> joints = gltftest::readAccessor(asset, attributes["JOINTS_0"].get<int>(), width);
    std::vector<double> weights = gltftest::readAccessor(asset, attributes["WEIGHTS_0"].get<int>(), width);
    // Largest first; the tie between bones 2 and 5 keeps the lower bone.
    EXPECT_EQ(std::vector<double>(joints.begin(), joints.begin() + 4), std::vector<double>({1, 4, 3, 2}));
    EXPECT_FLOAT_EQ(float(weights[0]), float(0.3 / 0.85));
    EXPECT_FLOAT_EQ(float(weights[3]), float(0.1 / 0.85));
    for (std::size_t v = 0; v < weights.size() / 4; ++v) {
        float sum = 0.0f; // summed as a viewer sums it
        for (std::size_t k = 0; k < 4; ++k)
            sum += float(weights[v * 4 + k]);
        EXPECT_EQ(sum, 1.0f) << "vertex " << v;
    }
    // The vertex without weights follows the root bone (the heaviest, bone 2) alone.
    EXPECT_EQ(joints[4], 2);
    EXPECT_EQ(weights[4], 1.0);
}

TEST(GltfExport, RefusesInputsItCannotExportAndKeepsTheOldOutput)
{
    ScratchDir dir;
    ObjMesh rest;
    RigData rig;
    reflectingRig(rest, rig);
    std::string restFile, rigFile;
    writeInputs(dir, rest, rig, restFile, rigFile);
    const std::string out = dir / "m.glb";
    tooltest::writeText(out, "old");
    struct Case {
        std::string args, message;
    };
    ObjMesh shorter = rest;
    shorter.positions.resize(shorter.positions.size() - 3);
    shorter.triangles.resize(shorter.triangles.size() - 6);
    tooltest::writeText(dir / "short.obj", formatRestPose(shorter, 0));
    RigData singular = rig;
    std::fill(singular.transforms.begin() + 12, singular.transforms.begin() + 21, 0.0);
    tooltest::writeText(dir / "singular.rig.txt", formatRig(singular, 0, "x"));
    tooltest::writeText(dir / "nofaces.obj", "v 0 0 0\n");
    const Case cases[] = {
        {quote(dir / "short.obj") + " " + quote(rigFile) + " " + quote(out), "the rest mesh has 17 vertices but the rig has 18"},
        {quote(restFile) + " " + quote(dir / "singular.rig.txt") + " " + quote(out), "bone 1 in frame 0 is not a rigid transformation"},
        {quote(restFile) + " " + quote(rigFile) + " " + quote(out) + " --fps 0", "invalid frame rate 0"},
        {quote(restFile) + " " + quote(rigFile) + " " + quote(dir / "m.fbx"), "must end in .glb or .gltf"},
        {quote(restFile) + " " + quote(restFile) + " " + quote(out), "rest.obj:1: data before the joints section"},
        {quote(restFile) + " " + quote(rigFile), "needs REST.obj, RIG.txt and the output file"},
    };
    for (const Case& c : cases) {
        auto r = tooltest::runCommand(dir, convert("export-gltf " + c.args));
        EXPECT_EQ(r.exitCode, 1) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(tooltest::readText(out), "old");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "m.fbx"));
    auto r = tooltest::runCommand(dir, convert("frobnicate"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("unknown command frobnicate"), std::string::npos);
}

// The meshes of the shared data with rigs of them. Tolvan's rigs hold six
// digits and their rotations are up to 4e-4 off orthogonal where a bone's
// vertices are nearly flat; a node can only hold the nearest rotation.
TEST(GltfExport, SharedRigsAreReproducedClosely)
{
    const std::string shared = TOLVAN_SHARED_DIR;
    const std::string cases[][3] = {
        {"synthetic-small", "data/synthetic-small/synthetic-small.truth.rig.txt", "1e-6"},
        {"cesium-man-walk", "golden/cases/cesium-default/expected/out.rig.txt", "1e-5"},
        {"horse-gallop", "golden/cases/horse-default/expected/out.rig.txt", "1e-5"},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        const std::string restFile = shared + "/data/" + c[0] + "/" + c[0] + ".rest.obj", rigFile = shared + "/" + c[1];
        if (!std::filesystem::exists(restFile) || !std::filesystem::exists(rigFile)) {
            std::cout << "no " << rigFile << "\n";
            continue;
        }
        auto r = tooltest::runCommand(dir, convert("export-gltf " + quote(restFile) + " " + quote(rigFile) + " " + quote(dir / "x.glb")));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        ObjMesh rest;
        RigData rig;
        std::string error;
        ASSERT_TRUE(readObjMesh(restFile, true, rest, error)) << error;
        ASSERT_TRUE(readRigFile(rigFile, rig, error)) << error;
        double e = skinningError(dir / "x.glb", rest, rig, 30.0);
        std::cout << c[0] << ": largest difference " << e << " of the diagonal\n";
        EXPECT_LT(e, std::stod(c[2]));
    }
}

// The Khronos validator, when installed (npm install --prefix tools/node gltf-validator).
TEST(GltfExport, ValidatorReportsNoErrorAndNoWarning)
{
    const std::string script = std::string(TOLVAN_TOOLS_DIR) + "/validate_gltf.cjs";
    ScratchDir dir;
    if (std::system("node --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "node is not installed: the glTF validator cannot run";
    auto probe = tooltest::runCommand(dir, "node " + quote(script));
    if (probe.err.find("not installed") != std::string::npos)
        GTEST_SKIP() << probe.err;
    auto r = tooltest::runCommand(dir, std::string(TOLVAN_MAKE_EXAMPLE) + " " + quote(dir / "ex"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ObjMesh rest;
    RigData rig;
    reflectingRig(rest, rig);
    std::string restFile, rigFile;
    writeInputs(dir, rest, rig, restFile, rigFile);
    const std::string exports[][3] = {
        {dir / "ex/creature.rest.obj", dir / "ex/creature.truth.rig.txt", dir / "creature.glb"},
        {dir / "ex/creature.rest.obj", dir / "ex/creature.truth.rig.txt", dir / "creature.gltf"},
        {restFile, rigFile, dir / "mirrored.glb"},
    };
    for (const auto& e : exports) {
        r = tooltest::runCommand(dir, convert("export-gltf " + quote(e[0]) + " " + quote(e[1]) + " " + quote(e[2])));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        r = tooltest::runCommand(dir, "node " + quote(script) + " " + quote(e[2]));
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.out.find(": 0 errors, 0 warnings"), std::string::npos) << r.out;
    }
}

} // namespace

#endif
