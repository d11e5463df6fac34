#include "commands/cache_import.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>

#include "commands/command_table.h"
#include "commands/import_output.h"
#include "formats/point_cache.h"
#include "io/number_text.h"

namespace {

// Identity and the six quarter turns: component k of the turned point is
// sign[k] times component axis[k] of the original.
struct Turn {
    int axis[3];
    double sign[3];
    const char* text;
};
const Turn kTurns[] = {
    {{0, 1, 2}, {1, 1, 1}, ""},
    {{0, 2, 1}, {1, 1, -1}, "(x, y, z) -> (x, z, -y)"},
    {{0, 2, 1}, {1, -1, 1}, "(x, y, z) -> (x, -z, y)"},
    {{2, 1, 0}, {1, 1, -1}, "(x, y, z) -> (z, y, -x)"},
    {{2, 1, 0}, {-1, 1, 1}, "(x, y, z) -> (-z, y, x)"},
    {{1, 0, 2}, {-1, 1, 1}, "(x, y, z) -> (-y, x, z)"},
    {{1, 0, 2}, {1, -1, 1}, "(x, y, z) -> (y, -x, z)"},
};

std::string vectorText(const double* v)
{
    std::string s = "(";
    for (int k = 0; k < 3; ++k) {
        appendReal(s, v[k], 6);
        s += k < 2 ? ", " : ")";
    }
    return s;
}

} // namespace

std::string restMismatchWarning(const std::vector<double>& rest, const double* frame0)
{
    const std::size_t n = rest.size() / 3;
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (std::size_t i = 0; i < rest.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], rest[i]);
        hi[i % 3] = std::max(hi[i % 3], rest[i]);
    }
    const double tolerance = 1e-4 * std::max(std::hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]), 1e-300);
    for (const Turn& turn : kTurns) {
        // Offset: the mean of rest − turned frame 0; then the largest residual.
        double offset[3] = {0.0, 0.0, 0.0}, worst = 0.0;
        for (std::size_t v = 0; v < n; ++v)
            for (int k = 0; k < 3; ++k)
                offset[k] += (rest[v * 3 + std::size_t(k)] - turn.sign[k] * frame0[v * 3 + std::size_t(turn.axis[k])]) / double(n);
        for (std::size_t v = 0; v < n; ++v)
            for (int k = 0; k < 3; ++k)
                worst = std::max(worst, std::fabs(rest[v * 3 + std::size_t(k)] - turn.sign[k] * frame0[v * 3 + std::size_t(turn.axis[k])] -
                                                  offset[k]));
        if (!(worst <= tolerance))
            continue;
        const bool moved = std::hypot(offset[0], offset[1], offset[2]) > tolerance;
        if (turn.text[0] == '\0' && !moved)
            return "";
        std::string text = "frame 0 matches the rest mesh only after ";
        if (turn.text[0] != '\0')
            text += std::string("turning ") + turn.text + (moved ? " and " : "");
        if (moved)
            text += "moving it by " + vectorText(offset);
        if (turn.axis[1] == 2 && turn.sign[2] < 0)
            text += "; the cache looks Z-up while the rest mesh is Y-up: --z-up turns it";
        else if (turn.text[0] != '\0')
            text += "; export the cache and the rest mesh with the same axis settings";
        if (moved)
            text += "; export both in the same space (world or object)";
        return text;
    }
    return "";
}

int runCacheImport(const ParsedCommand& args)
{
    const std::string command = args.decl->name, file = args.positional[0];
    const std::string rest = args.text("--rest");
    const ImportOutput output = importOutputOf(args);
    const bool zUp = args.has("--z-up");
    std::string error;

    const auto start = std::chrono::steady_clock::now();
    ObjMesh mesh;
    PointCache cache;
    if (!readObjMesh(rest, true, mesh, error) || !(command == "import-pc2" ? readPc2(file, cache, error) : readMdd(file, cache, error))) {
        std::cerr << "tolvan-convert: " << error << "\n";
        return 1;
    }
    if (cache.numPoints != mesh.positions.size() / 3) {
        std::cerr << "tolvan-convert: " << file << ": " << cache.numPoints << " points, but the rest mesh " << rest << " has "
                  << mesh.positions.size() / 3 << " vertices\n";
        return 1;
    }
    if (zUp)
        for (std::size_t i = 0; i < cache.frames.size(); i += 3) {
            const double y = cache.frames[i + 1];
            cache.frames[i + 1] = cache.frames[i + 2];
            cache.frames[i + 2] = -y;
        }
    // Taken from a frame, the rest pose cannot stand apart from the frames.
    const std::string warning = output.restPose == "mesh" ? restMismatchWarning(mesh.positions, cache.frames.data()) : "";
    if (!warning.empty())
        std::cerr << "tolvan-convert: warning: " << file << ": " << warning << "\n";
    if (!finishImport(output, mesh, cache.frames, cache.numFrames, std::cout, std::cerr, error)) {
        std::cerr << "tolvan-convert: " << error << "\n";
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "Wrote " << output.sequenceOut << " (" << cache.numFrames << " frames of " << mesh.positions.size() / 3 << " vertices) and " << output.restOut
              << " (" << mesh.triangles.size() / 3 << " triangles) in " << seconds << " s\n";
    return 0;
}
