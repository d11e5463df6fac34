// tolvan-make-example: writes the bundled example, a generated four-legged
// creature, as Tolvan's two input files plus its ground-truth rig.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "example/creature.h"
#include "formats/text_output.h"

namespace {

const char* const kUsage =
    "Usage: tolvan-make-example [--seed N] [--frames N] [--detail D] [--soft A] OUTDIR\n"
    "Writes OUTDIR/creature.anim.txt, OUTDIR/creature.rest.obj and OUTDIR/creature.truth.rig.txt:\n"
    "a four-legged creature animated by a known skeleton (--frames 10 to 1000, default 30;\n"
    "the same seed always gives the same files, default 1).\n"
    "--detail D (1 to 8, default 1) makes the mesh finer: about D x D times the 1766 vertices\n"
    "of the default, e.g. --detail 5.5 --frames 120 for a 53,000-vertex, 120-frame creature.\n"
    "--soft A (0 to 0.1, default 0) adds a soft random motion of amplitude A to the skinned one, so\n"
    "that the motion is not exactly a skinned one (the truth rig then only approximates it).\n";

bool parseWhole(const char* text, long long& value)
{
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0';
}

// A finite decimal number within [low, high].
bool parseReal(const char* text, double low, double high, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= low && value <= high;
}

int run(int argc, char** argv)
{
    CreatureOptions options;
    std::string outDir;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        long long value = 0;
        if ((arg == "--detail" || arg == "--soft") && i + 1 < argc) {
            const bool detail = arg == "--detail";
            double& target = detail ? options.detail : options.soft;
            if (!parseReal(argv[++i], detail ? 1.0 : 0.0, detail ? 8.0 : 0.1, target)) {
                std::cerr << "tolvan-make-example: " << arg << " must be a number from " << (detail ? "1 to 8" : "0 to 0.1")
                          << ", not " << argv[i] << "\n";
                return 1;
            }
        } else if ((arg == "--seed" || arg == "--frames") && i + 1 < argc) {
            if (!parseWhole(argv[++i], value) || value < 0) {
                std::cerr << "tolvan-make-example: invalid value for " << arg << ": " << argv[i] << "\n";
                return 1;
            }
            if (arg == "--seed") {
                options.seed = std::uint64_t(value);
            } else {
                if (value < 10 || value > 1000) {
                    std::cerr << "tolvan-make-example: --frames must be between 10 and 1000\n";
                    return 1;
                }
                options.numFrames = int(value);
            }
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && outDir.empty()) {
            outDir = arg;
        } else {
            std::cerr << kUsage;
            return 1;
        }
    }
    if (outDir.empty()) {
        std::cerr << kUsage;
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        std::cerr << "tolvan-make-example: cannot create " << outDir << ": " << ec.message() << "\n";
        return 1;
    }
    Creature creature;
    buildCreature(options, creature);
    const int digits = 9;
    const std::string base = (std::filesystem::path(outDir) / "creature").string();
    const std::string names[3] = {base + ".anim.txt", base + ".rest.obj", base + ".truth.rig.txt"};
    const std::string contents[3] = {
        formatSequence(creature.frames, creature.rig.numFrames, creature.rig.numVertices, digits),
        formatRestPose(creature.rest, digits),
        formatRig(creature.rig, digits, "Ground truth of the generated creature, seed " + std::to_string(options.seed))};
    std::vector<StagedFile> staged(3);
    std::string error;
    for (int k = 0; k < 3; ++k) {
        if (!stageFile(names[k], contents[k], staged[std::size_t(k)], error)) {
            staged.resize(std::size_t(k));
            discardStagedFiles(staged);
            std::cerr << "tolvan-make-example: " << error << "\n";
            return 1;
        }
    }
    if (!commitStagedFiles(staged, error)) {
        std::cerr << "tolvan-make-example: " << error << "\n";
        return 1;
    }
    std::cout << "Wrote " << names[0] << ", " << names[1] << " and " << names[2] << " (" << creature.rig.numVertices
              << " vertices, " << creature.rest.triangles.size() / 3 << " triangles, " << creature.rig.numFrames << " frames, "
              << creature.rig.numBones << " bones)\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "tolvan-make-example: " << e.what() << "\n";
    }
    return 1;
}
