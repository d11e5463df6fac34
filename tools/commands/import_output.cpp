#include "commands/import_output.h"

#include <algorithm>
#include <numeric>
#include <ostream>

#include "io/atomic_file.h"
#include "io/number_text.h"

#include "commands/command_table.h"
#include "formats/weld.h"
#include "io/count_text.h"
#include "io/rest_scale.h"

namespace {

// frames: numFrames × vertices × (x, y, z). Numbers are written exactly
// (shortest text that reads back as the same double); vertexMap (one index
// per input vertex) goes to mapOut unless that is "". All files or none.
bool writeImportedAnimation(const ObjMesh& rest, const std::vector<double>& frames, std::size_t numFrames,
                            const std::string& sequenceOut, const std::string& restOut, std::string& error,
                            const std::vector<std::size_t>& vertexMap, const std::string& mapOut)
{
    const std::size_t count = rest.positions.size() / 3;
    std::string sequence = std::to_string(numFrames) + " " + std::to_string(count) + "\n";
    sequence.reserve(frames.size() * 20);
    for (std::size_t i = 0; i < numFrames * count * 3; i += 3) {
        appendReal(sequence, frames[i], 0);
        sequence += ' ';
        appendReal(sequence, frames[i + 1], 0);
        sequence += ' ';
        appendReal(sequence, frames[i + 2], 0);
        sequence += '\n';
    }
    std::vector<std::pair<std::string, std::string>> files = {{sequenceOut, std::move(sequence)}, {restOut, formatRestPose(rest, 0)}};
    if (!mapOut.empty()) {
        std::string text;
        for (std::size_t index : vertexMap)
            text += std::to_string(index) + "\n";
        files.emplace_back(mapOut, std::move(text));
    }
    return writeFilesAtomically(files, error);
}

// What to do when the rest pose is not in the frames' space.
std::string restPoseFix(const std::string& restPose)
{
    if (restPose == "bind")
        return "; --rest-pose static poses the mesh as the file stands without animation, in the frames' space";
    if (restPose.starts_with("frame:"))
        return "; the frames change size as they play";
    return "; --rest-pose frame:0 takes the rest pose from frame 0, or export the rest mesh in the frames' space and units";
}

} // namespace

ImportOutput importOutputOf(const ParsedCommand& args)
{
    return {args.text("--anim"), args.text("--rest-out"), args.text("--vertex-map"), !args.has("--no-weld"), args.text("--rest-pose"),
            args.positional.empty() ? "" : args.positional[0]};
}

bool finishImport(const ImportOutput& output, ObjMesh& rest, std::vector<double>& frames, std::size_t numFrames, std::ostream& out,
                  std::ostream& err, std::string& error)
{
    if (output.restPose.starts_with("frame:")) {
        const std::size_t frame = std::stoul(output.restPose.substr(6)); // the parser admits digits only
        if (frame >= numFrames) {
            error = "--rest-pose " + output.restPose + ": the animation has " + countText(numFrames) + " frames, numbered from 0";
            return false;
        }
        std::copy_n(frames.begin() + long(frame * rest.positions.size()), rest.positions.size(), rest.positions.begin());
    }
    const std::size_t read = rest.positions.size() / 3, faces = rest.triangles.size() / 3;
    std::vector<std::size_t> map(read);
    std::iota(map.begin(), map.end(), std::size_t(0));
    if (output.weld) {
        const std::size_t kept = weldVertices(rest, frames, numFrames, &map);
        out << "Welded vertices that coincide in every frame: " << countText(read) << " -> " << countText(kept) << " vertices";
        if (rest.triangles.size() / 3 < faces)
            out << "; " << countText(faces - rest.triangles.size() / 3) << " faces collapsed and are left out";
        out << "\n";
    }
    const std::string warning =
        restScaleWarning(measureRestScale(rest.positions, rest.triangles.data(), rest.triangles.size() / 3, frames.data(), numFrames));
    if (!warning.empty())
        err << "tolvan-convert: warning: " << output.source << ": " << warning << restPoseFix(output.restPose) << "\n";
    return writeImportedAnimation(rest, frames, numFrames, output.sequenceOut, output.restOut, error, map, output.vertexMapOut);
}
