// tolvan-make-example: writes the bundled examples as Tolvan's two input
// files: a generated four-legged creature (plus its ground-truth rig) or,
// with --cloth, a flag blown about.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "example/cloth.h"
#include "example/creature.h"
#include "io/atomic_file.h"

namespace {

const char* const kUsage =
    "Usage: tolvan-make-example [--cloth] [--seed N] [--frames N] [--detail D] [--soft A] OUTDIR\n"
    "Writes OUTDIR/creature.anim.txt, OUTDIR/creature.rest.obj and OUTDIR/creature.truth.rig.txt:\n"
    "a four-legged creature animated by a known skeleton (--frames 10 to 1000, default 30;\n"
    "the same seed always gives the same files, default 1).\n"
    "--detail D (1 to 8, default 1) makes the mesh finer: about D x D times the 1766 vertices\n"
    "of the default, e.g. --detail 5.5 --frames 120 for a 53,000-vertex, 120-frame creature.\n"
    "--soft A (0 to 0.1, default 0) adds a soft random motion of amplitude A to the skinned one, so\n"
    "that the motion is not exactly a skinned one (the truth rig then only approximates it).\n"
    "--cloth writes OUTDIR/cloth.anim.txt and OUTDIR/cloth.rest.obj instead: a flag of 2,400 vertices,\n"
    "flat at rest, pinned along one edge and blown about (--frames as above, default 40;\n"
    "--detail and --soft are the creature's).\n";

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

constexpr int kDigits = 9;

// Writes every file or none.
bool writeAll(const std::vector<std::pair<std::string, std::string>>& files)
{
    std::string error;
    if (writeFilesAtomically(files, error))
        return true;
    std::cerr << "tolvan-make-example: " << error << "\n";
    return false;
}

int run(int argc, char** argv)
{
    CreatureOptions options;
    std::string outDir;
    bool cloth = false, framesGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        long long value = 0;
        if (arg == "--cloth") {
            cloth = true;
        } else if ((arg == "--detail" || arg == "--soft") && i + 1 < argc) {
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
                framesGiven = true;
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
    if (cloth) {
        ClothOptions clothOptions;
        clothOptions.seed = options.seed;
        if (framesGiven)
            clothOptions.numFrames = options.numFrames;
        Cloth flag;
        buildCloth(clothOptions, flag);
        const int vertices = int(flag.rest.positions.size() / 3);
        const std::string base = (std::filesystem::path(outDir) / "cloth").string();
        if (!writeAll({{base + ".anim.txt", formatSequence(flag.frames, clothOptions.numFrames, vertices, kDigits)},
                       {base + ".rest.obj", formatRestPose(flag.rest, kDigits)}}))
            return 1;
        std::cout << "Wrote " << base << ".anim.txt and " << base << ".rest.obj (" << vertices << " vertices, "
                  << flag.rest.triangles.size() / 3 << " triangles, " << clothOptions.numFrames << " frames)\n";
        return 0;
    }
    Creature creature;
    buildCreature(options, creature);
    const std::string base = (std::filesystem::path(outDir) / "creature").string();
    const std::vector<std::string> names = {base + ".anim.txt", base + ".rest.obj", base + ".truth.rig.txt"};
    if (!writeAll({{names[0], formatSequence(creature.frames, creature.rig.numFrames, creature.rig.numVertices, kDigits)},
                   {names[1], formatRestPose(creature.rest, kDigits)},
                   {names[2], formatRig(creature.rig, kDigits,
                                        "Ground truth of the generated creature, seed " + std::to_string(options.seed))}}))
        return 1;
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
