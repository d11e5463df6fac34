#include "commands/gltf_import.h"

#include <chrono>
#include <iostream>
#include <string>

#include "commands/import_output.h"
#include "commands/command_table.h"
#include "formats/gltf_sampling.h"
#include "io/count_text.h"

int runGltfImport(const ParsedCommand& args)
{
    const std::string& file = args.positional[0];
    const ImportOutput output = importOutputOf(args);
    std::string error;
    GltfSampleOptions options;
    options.animation = args.text("--animation");
    options.meshes = args.all("--mesh");
    options.fps = args.has("--fps") ? args.number("--fps") : 0.0;
    options.bindPose = args.text("--rest-pose") == "bind";

    const auto start = std::chrono::steady_clock::now();
    GltfSampled sampled;
    if (!sampleGltfFile(file, options, sampled, error)) {
        std::cerr << "tolvan-convert: " << error << "\n";
        return 1;
    }
    const std::size_t read = sampled.rest.positions.size() / 3;
    std::cout << "Read " << file << ": mesh" << (sampled.ranges.size() > 1 ? "es " : " ") << sampled.mesh << ", animation " << sampled.animation << ", " << read
              << " vertices, " << sampled.numFrames << " frames at " << sampled.fps << " per second from " << sampled.start
              << " s\n";
    // The rest OBJ cannot carry names: say where each mesh's vertices went.
    if (sampled.ranges.size() > 1) {
        std::cout << "Joined " << sampled.ranges.size() << " meshes in the order of their nodes (input vertices, from 0"
                  << (output.weld ? "; --vertex-map gives their places after welding" : "") << "):\n";
        for (const GltfSampled::Range& range : sampled.ranges)
            std::cout << "  " << range.mesh << ": "
                      << (range.count ? "vertices " + countText(range.first) + " to " + countText(range.first + range.count - 1) : "no vertices")
                      << "\n";
    }
    if (!finishImport(output, sampled.rest, sampled.frames, sampled.numFrames, std::cout, std::cerr, error)) {
        std::cerr << "tolvan-convert: " << error << "\n";
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "Wrote " << output.sequenceOut << " (" << sampled.numFrames << " frames of " << sampled.rest.positions.size() / 3
              << " vertices) and " << output.restOut << " (" << sampled.rest.triangles.size() / 3 << " triangles) in " << seconds
              << " s\n";
    return 0;
}
