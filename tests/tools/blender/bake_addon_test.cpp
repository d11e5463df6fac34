// The Blender add-on tolvan_rig in headless Blender: installed from the zip
// the build makes, it bakes a cloth flag, the example creature (shape keys)
// and a fractured wall; the checks run inside Blender (bake_addon_check.py)
// and print the figures of every scene.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "io/io_test_files.h"
#include "tools/client_skip.h"

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
    std::cout << "Blender, all scenes: " << seconds << " s\n";
}
