// What every importer does last: weld the vertices that move as one, compare
// the rest pose with the frames, and write Tolvan's sequence file, its
// rest-pose file and (when asked) the map from the input's vertices to the
// written ones, all or none.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "formats/obj_mesh.h"

struct ParsedCommand;

struct ImportOutput {
    std::string sequenceOut;  // --anim
    std::string restOut;      // --rest-out
    std::string vertexMapOut; // --vertex-map; "" = not written
    bool weld = true;         // off with --no-weld
    std::string restPose;     // --rest-pose: "frame:N" takes frame N's positions; other choices are the importer's
    std::string source;       // the input named in warnings
};

// The output options every importer declares.
ImportOutput importOutputOf(const ParsedCommand& args);

// rest: the mesh as read (positions and triangles); frames: numFrames ×
// vertices × (x, y, z) in the same vertex order. Takes the rest positions
// from a frame when asked, welds unless told not to (the counts go to out),
// warns on err when the rest pose is not in the frames' space, then writes
// the files. On failure returns false with error naming the file or option;
// nothing is left.
bool finishImport(const ImportOutput& output, ObjMesh& rest, std::vector<double>& frames, std::size_t numFrames, std::ostream& out,
                  std::ostream& err, std::string& error);
