// The Blender add-on tolvan_rig in headless Blender: installed from the zip
// the build makes, it bakes a cloth flag, the example creature (shape keys)
// and a fractured wall; the checks run inside Blender (bake_addon_check.py)
// and print the figures of every scene.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <iostream>
#include <nlohmann/json.hpp>

#include "io/io_test_files.h"
#include "tools/client_skip.h"
#include "tools/gltf_reader.h"
#include "tools/skinning_check.h"

namespace {

// Largest difference between the armature's rest matrices (bones.json, per
// bone row-major 4x4) and the glTF export's joints of the same rig (the
// inverses of its inverse bind matrices): heads as a fraction of the rest
// box diagonal, axes as entries of the rotation.
std::pair<double, double> armatureAgainstGltf(const ScratchFolder& dir, const std::string& scene)
{
    const std::string base = dir.at(scene) + "/";
    const CommandResult r = runCommand(dir, quote(TOLVAN_CONVERT) + " export-gltf " + quote(base + "rest.obj") + " " +
                                                quote(base + "rig.txt") + " " + quote(base + "rig.glb"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const gltftest::Asset asset = gltftest::loadAsset(base + "rig.glb");
    const nlohmann::json bones = nlohmann::json::parse(readWholeFile(base + "bones.json"));
    const nlohmann::json& skin = asset.doc["skins"][0];
    const std::vector<double> inverse = gltftest::readAccessor(asset, skin["inverseBindMatrices"]);
    const std::vector<double> rest = gltftest::readAccessor(asset, asset.doc["meshes"][0]["primitives"][0]["attributes"]["POSITION"]);
    double head = 0.0, axes = 0.0;
    EXPECT_EQ(bones.size(), skin["joints"].size()) << scene;
    for (std::size_t k = 0; k < skin["joints"].size(); ++k) {
        const std::vector<double> b = bones.at(asset.doc["nodes"][skin["joints"][k].get<int>()]["name"].get<std::string>());
        const double* m = &inverse[k * 16]; // column-major [R^T | -R^T h]: R = rows of m's 3x3, h = -R m_t
        for (int i = 0; i < 3; ++i) {
            const double h = -(m[i * 4] * m[12] + m[i * 4 + 1] * m[13] + m[i * 4 + 2] * m[14]);
            head = std::max(head, std::fabs(h - b[std::size_t(i) * 4 + 3]));
            for (int j = 0; j < 3; ++j)
                axes = std::max(axes, std::fabs(m[i * 4 + j] - b[std::size_t(i) * 4 + std::size_t(j)]));
        }
    }
    return {head / boxDiagonal(rest, rest.size() / 3), axes};
}

} // namespace

TEST(ClientBlenderAddon, BakesClothCreatureAndFractureAsTolvanRigsThem)
{
    ScratchFolder dir;
    TOLVAN_NEED_CLIENT(runCommand(dir, "command -v blender").exitCode == 0 ? "" : "blender is not installed",
                       "scripts/install_deps.sh tests (apt-get install -y blender python3-numpy)");
    ASSERT_EQ(runCommand(dir, quote(TOLVAN_MAKE_EXAMPLE) + " ex").exitCode, 0);
    const std::string tools = TOLVAN_TOOLS_DIR;
    const auto start = std::chrono::steady_clock::now();
    // Installed into the scratch folder's user scripts, not the machine's.
    const CommandResult r = runCommand(
        dir, "BLENDER_USER_SCRIPTS=" + quote(dir.at("scripts")) + " blender -b --factory-startup --python-exit-code 1 --python " +
                 quote(tools + "/../tests/tools/blender/bake_addon_check.py") + " -- " + quote(TOLVAN_EXECUTABLE) + " " +
                 quote(TOLVAN_BLENDER_ZIP) + " " + quote(tools) + " ex/creature.rest.obj ex/creature.anim.txt " + quote(dir.path));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    for (const char* scene : {"flag:", "creature:", "wall:", "cancel:", "refusals:"}) {
        const std::size_t at = r.out.find(std::string("\n") + scene);
        ASSERT_NE(at, std::string::npos) << scene << " missing in\n" << r.out;
        std::cout << r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1) << "\n";
    }
    for (const char* scene : {"flag", "creature", "wall"}) {
        const auto [head, axes] = armatureAgainstGltf(dir, scene);
        std::cout << scene << ": armature from the glTF export's joints: heads " << head << " of the diagonal, axes " << axes << "\n";
        EXPECT_LE(head, 1e-6) << scene;
        // Blender rebuilds a bone that points almost along -Y from its roll to about 1e-4.
        EXPECT_LE(axes, 1e-3) << scene;
    }
    std::cout << "Blender, all scenes: " << seconds << " s\n";
}
