// The exported files in the clients users open them with: three.js under
// Node and Blender's importer. Every frame and every vertex must match the
// skinning the file itself encodes, and Blender's bones must point along the
// skeleton. Exports: the example's ground-truth rig, Tolvan's rig of the
// example, and Tolvan's rig of each shared mesh that is present
// (TOLVAN_CLIENT_MESHES, default cesium-man-walk).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "io/io_test_files.h"
#include "tools/client_skip.h"
#include "tools/gltf_reader.h"
#include "tools/skinning_check.h"

namespace {

struct Subject {
    std::string name, glb, note; // note: the converter's own figure
};

// Runs Tolvan and exports at 24 fps (Blender's default scene rate).
std::vector<Subject> prepare(const ScratchFolder& dir)
{
    EXPECT_EQ(runCommand(dir, quote(TOLVAN_MAKE_EXAMPLE) + " ex").exitCode, 0);
    std::vector<std::array<std::string, 4>> rigs = { // name, sequence, rest, rig
        {"example truth", "", "ex/creature.rest.obj", "ex/creature.truth.rig.txt"},
        {"example Tolvan rig", "ex/creature.anim.txt", "ex/creature.rest.obj", "ex.rig.txt"}};
    const char* env = std::getenv("TOLVAN_CLIENT_MESHES");
    std::istringstream meshes(env ? env : "cesium-man-walk");
    for (std::string mesh; meshes >> mesh;) {
        const std::string base = std::string(TOLVAN_SHARED_DIR) + "/data/" + mesh + "/" + mesh;
        if (std::filesystem::exists(base + ".anim.txt") && std::filesystem::exists(base + ".rest.obj"))
            rigs.push_back({mesh + " Tolvan rig", base + ".anim.txt", base + ".rest.obj", mesh + ".rig.txt"});
    }
    std::vector<Subject> subjects;
    for (std::size_t k = 0; k < rigs.size(); ++k) {
        const auto& [name, sequence, rest, rig] = rigs[k];
        if (!sequence.empty()) {
            const CommandResult r = runCommand(dir, quote(TOLVAN_EXECUTABLE) + " " + quote(sequence) + " " + quote(rest) + " " + quote(rig));
            EXPECT_EQ(r.exitCode, 0) << name << ": " << r.err;
        }
        const std::string glb = "s" + std::to_string(k) + ".glb";
        const CommandResult r = runCommand(dir, quote(TOLVAN_CONVERT) + " export-gltf " + quote(rest) + " " + quote(rig) + " " + glb + " --fps 24");
        EXPECT_EQ(r.exitCode, 0) << name << ": " << r.err;
        const std::size_t at = r.out.find("largest difference from the rig ");
        subjects.push_back({name, dir.at(glb), at == std::string::npos ? "?" : r.out.substr(at + 32, r.out.find(' ', at + 32) - at - 32)});
    }
    return subjects;
}

// Largest distance between a client's positions (float64 x, y, z per vertex,
// frame after frame) and the file's own skinning, relative to the rest box diagonal.
double clientDifference(const Subject& s, const std::string& blob)
{
    const gltftest::Asset asset = gltftest::loadAsset(s.glb);
    const std::vector<double> rest = gltftest::readAccessor(asset, asset.doc["meshes"][0]["primitives"][0]["attributes"]["POSITION"]);
    const std::size_t frames = gltftest::readAccessor(asset, asset.doc["animations"][0]["samplers"][0]["input"]).size();
    EXPECT_EQ(blob.size(), frames * rest.size() * sizeof(double)) << s.name;
    if (blob.size() != frames * rest.size() * sizeof(double))
        return INFINITY;
    double worst = 0.0;
    for (std::size_t f = 0; f < frames; ++f) {
        const std::vector<double> file = gltftest::skinnedPositions(asset, int(f));
        std::vector<double> client(file.size());
        std::memcpy(client.data(), blob.data() + f * file.size() * sizeof(double), file.size() * sizeof(double));
        for (std::size_t v = 0; v < file.size(); v += 3) {
            worst = worseDistance(worst, std::hypot(client[v] - file[v], client[v + 1] - file[v + 1], client[v + 2] - file[v + 2]));
        }
    }
    return worst / boxDiagonal(rest, rest.size() / 3);
}

TEST(ClientThreeJs, PlaysEveryExportAsTheFileEncodesIt)
{
    ScratchFolder dir;
    TOLVAN_NEED_CLIENT(runCommand(dir, "node --version").exitCode != 0 ? "node is not installed"
                       : std::filesystem::exists(std::string(TOLVAN_TOOLS_DIR) + "/node/node_modules/three/package.json") ? ""
                                                                                                        : "three.js is not installed in tools/node",
                       "scripts/install_deps.sh tests");
    const std::string script = quote(std::string(TOLVAN_TOOLS_DIR) + "/clients/three_skinning.mjs");
    for (const Subject& s : prepare(dir)) {
        const CommandResult r = runCommand(dir, "node " + script + " " + quote(s.glb) + " three.bin");
        ASSERT_EQ(r.exitCode, 0) << s.name << ": " << r.err;
        const double difference = clientDifference(s, readWholeFile(dir.at("three.bin")));
        std::cout << "three.js, " << s.name << ": " << difference << " of the diagonal from the file (file from the rig: " << s.note << ")\n";
        EXPECT_LE(difference, 1e-6) << s.name;
    }
}

TEST(ClientBlender, ImportsEveryExportWithBonesAlongTheSkeleton)
{
    ScratchFolder dir;
    TOLVAN_NEED_CLIENT(runCommand(dir, "command -v blender").exitCode == 0 ? "" : "blender is not installed",
                       "scripts/install_deps.sh tests (apt-get install -y blender python3-numpy)");
    const std::vector<Subject> subjects = prepare(dir);
    std::string args;
    for (std::size_t k = 0; k < subjects.size(); ++k)
        args += " " + quote(subjects[k].glb) + " b" + std::to_string(k);
    // One Blender start for all files.
    const CommandResult r = runCommand(dir, "blender -b --factory-startup --python-exit-code 1 --python " +
                                                quote(std::string(TOLVAN_TOOLS_DIR) + "/clients/blender_skinning.py") + " --" + args);
    TOLVAN_NEED_CLIENT(r.exitCode == 3 ? r.err : "", "apt-get install -y python3-numpy");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    for (std::size_t k = 0; k < subjects.size(); ++k) {
        const Subject& s = subjects[k];
        const nlohmann::json info = nlohmann::json::parse(readWholeFile(dir.at("b" + std::to_string(k) + ".json")));
        ASSERT_EQ(info["fps"], 24.0);
        ASSERT_FALSE(info["angles"].empty()) << s.name;
        double angle = 0.0;
        for (const auto& [bone, degrees] : info["angles"].items())
            angle = std::max(angle, degrees.get<double>());
        const double difference = clientDifference(s, readWholeFile(dir.at("b" + std::to_string(k) + ".bin")));
        std::cout << "Blender, " << s.name << ": " << difference << " of the diagonal from the file, bones at most " << angle
                  << " degrees off their children (file from the rig: " << s.note << ")\n";
        EXPECT_LE(difference, 1e-6) << s.name;
        EXPECT_LE(angle, 2.0) << s.name;
    }
}

// Largest distance between frames (vertex v of an import is vertex map[v]
// of Blender's) relative to the box diagonal of Blender's first frame.
double largestDifference(const std::vector<double>& got, const std::vector<double>& blender, const std::vector<std::size_t>& map,
                         std::size_t frames, std::size_t vertices)
{
    double worst = 0.0;
    for (std::size_t f = 0; f < frames; ++f)
        for (std::size_t v = 0; v < map.size(); ++v) {
            const double* a = &got[(f * map.size() + v) * 3];
            const double* b = &blender[(f * vertices + map[v]) * 3];
            worst = worseDistance(worst, std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]));
        }
    return worst / boxDiagonal(blender, vertices);
}

// Files made by Blender the way users make them, imported by every importer
// and compared with Blender's own evaluation of the same frames.
TEST(ClientBlenderImport, EveryImporterMatchesBlendersOwnEvaluation)
{
    TOLVAN_NEED_CLIENT(std::system("command -v blender > /dev/null 2>&1") == 0 ? "" : "blender is not installed",
                       "apt-get install -y blender python3-numpy");
    ScratchFolder dir;
    const CommandResult made = runCommand(dir, "blender -b --factory-startup --python-exit-code 1 --python " +
                                                   quote(std::string(TOLVAN_TOOLS_DIR) + "/clients/blender_make_caches.py") + " -- bl");
    ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    PointTable positions, imported;
    std::string error;
    ASSERT_TRUE(readSequence(dir.at("bl/positions.txt"), positions, error)) << error;
    const std::size_t frames = std::size_t(positions.rows), vertices = std::size_t(positions.columns);
    std::vector<double> blender = positions.values;
    ASSERT_EQ(frames, 12u);
    for (std::size_t i = 0; i < blender.size(); i += 3) { // Blender's Z-up to Y-up: (x, y, z) -> (x, z, -y)
        const double y = blender[i + 1];
        blender[i + 1] = blender[i + 2];
        blender[i + 2] = -y;
    }
    const std::string convert = quote(TOLVAN_CONVERT);
    const struct {
        const char* command;
        const char* name;
    } imports[] = {
        {" import-pc2 bl/anim.pc2 --rest bl/rest.obj", "pc2"},
        {" import-mdd bl/anim.mdd --z-up --rest bl/rest.obj", "mdd"},
        {" import-gltf bl/anim.glb --animation all", "gltf"},
    };
    for (const auto& im : imports) {
        const std::string name = im.name;
        const CommandResult r = runCommand(dir, convert + im.command + " --anim " + name + ".anim.txt --rest-out " + name + ".rest.obj");
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        // No axis warning once the axes agree; the shape key's bulge (1.3 across the upper half) stretches the mesh.
        EXPECT_EQ(r.err.find("frame 0 matches"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("the frames are 1.18 and 1 times the size of the rest pose"), std::string::npos) << r.err;
        ASSERT_TRUE(readSequence(dir.at(name + ".anim.txt"), imported, error)) << error;
        ASSERT_EQ(std::size_t(imported.rows), frames) << name;
        const std::size_t v = std::size_t(imported.columns);
        // The caches keep Blender's vertex order; glTF vertices are matched
        // by their rest position (welding renumbers them).
        std::vector<std::size_t> map(v);
        ObjMesh restMesh;
        ASSERT_TRUE(readObjMesh(dir.at(name + ".rest.obj"), false, restMesh, error)) << error;
        const std::vector<double>& rest = restMesh.positions;
        for (std::size_t i = 0; i < v; ++i) {
            double best = 1e300;
            for (std::size_t j = 0; j < vertices; ++j) {
                const double d = std::hypot(rest[i * 3] - blender[j * 3], rest[i * 3 + 1] - blender[j * 3 + 1], rest[i * 3 + 2] - blender[j * 3 + 2]);
                if (d < best)
                    best = d, map[i] = j;
            }
            if (name != "gltf") {
                EXPECT_EQ(map[i], i) << name;
            }
        }
        if (name == "gltf") { // every face split apart by the export, welded back to Blender's vertices
            EXPECT_NE(r.out.find(" -> " + std::to_string(vertices) + " vertices\n"), std::string::npos) << r.out;
        }
        const double difference = largestDifference(imported.values, blender, map, frames, vertices);
        EXPECT_LE(difference, 1e-6) << name;
        std::cout << name << ": largest difference from Blender " << difference << " of the box diagonal; " << r.out;
    }
}

} // namespace
