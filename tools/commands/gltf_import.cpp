#include "commands/gltf_import.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>

#include "commands/import_output.h"
#include "formats/gltf_sampling.h"
#include "formats/weld.h"

namespace {

int usage(const std::string& message)
{
    std::cerr << "tolvan-convert: " << message << " (see tolvan-convert --help)\n";
    return 1;
}

} // namespace

int runGltfImport(int argc, char** argv)
{
    std::string file, anim, restOut, value, error;
    GltfSampleOptions options;
    bool weld = true;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--anim" || arg == "--rest-out" || arg == "--animation" || arg == "--mesh" || arg == "--fps") {
            if (!optionValue(argc, argv, i, value, error))
                return usage(error);
            std::string* target = arg == "--anim" ? &anim : arg == "--rest-out" ? &restOut : arg == "--animation" ? &options.animation
                                : arg == "--mesh" ? &options.mesh : nullptr;
            if (target) {
                *target = value;
                continue;
            }
            char* end = nullptr;
            options.fps = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(options.fps > 0.0) || !std::isfinite(options.fps))
                return usage("invalid frame rate " + value);
        } else if (arg == "--no-weld") {
            weld = false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage("unknown option " + arg);
        } else if (file.empty()) {
            file = arg;
        } else {
            return usage("import-gltf reads one file; " + arg + " is one too many");
        }
    }
    if (file.empty() || anim.empty() || restOut.empty())
        return usage("import-gltf needs a .glb or .gltf file, --anim and --rest-out");

    const auto start = std::chrono::steady_clock::now();
    GltfSampled sampled;
    if (!sampleGltfFile(file, options, sampled, error)) {
        std::cerr << "tolvan-convert: " << error << "\n";
        return 1;
    }
    const std::size_t read = sampled.rest.positions.size() / 3;
    std::cout << "Read " << file << ": mesh " << sampled.mesh << ", animation " << sampled.animation << ", " << read
              << " vertices, " << sampled.numFrames << " frames at " << sampled.fps << " per second from " << sampled.start
              << " s\n";
    if (weld) {
        const std::size_t kept = weldVertices(sampled.rest, sampled.frames, sampled.numFrames);
        std::cout << "Welded vertices that coincide in every frame: " << read << " -> " << kept << "\n";
    }
    if (!writeImportedAnimation(sampled.rest, sampled.frames, sampled.numFrames, anim, restOut, error)) {
        std::cerr << "tolvan-convert: " << error << "\n";
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "Wrote " << anim << " (" << sampled.numFrames << " frames of " << sampled.rest.positions.size() / 3
              << " vertices) and " << restOut << " (" << sampled.rest.triangles.size() / 3 << " triangles) in " << seconds
              << " s\n";
    return 0;
}
