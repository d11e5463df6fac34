#include "commands/gltf_import.h"

#include <chrono>
#include <iostream>
#include <string>

#include "commands/import_output.h"
#include "commands/command_table.h"
#include "formats/gltf_sampling.h"
#include "formats/weld.h"

int runGltfImport(const ParsedCommand& args)
{
    const std::string& file = args.positional[0];
    const std::string anim = args.text("--anim"), restOut = args.text("--rest-out");
    std::string error;
    GltfSampleOptions options;
    options.animation = args.text("--animation");
    options.mesh = args.text("--mesh");
    options.fps = args.has("--fps") ? args.number("--fps") : 0.0;
    const bool weld = !args.has("--no-weld");

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
