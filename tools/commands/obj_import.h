// Import of an animation kept as one OBJ file per frame: the frames become
// Tolvan's sequence file and the rest mesh its rest-pose file.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "commands/import_output.h"

struct ObjImportRequest {
    std::string restFile;              // OBJ: positions and faces of the rest pose
    std::vector<std::string> frameFiles; // OBJ per frame, in playing order
    ImportOutput output;               // the files written and how
};

// Reads the rest mesh and every frame, checks that each frame has the rest
// mesh's vertex count, and finishes the import (the weld's counts go to
// out, warnings to err). On failure returns false with error naming the file (and line).
bool importObjFrames(const ObjImportRequest& request, std::ostream& out, std::ostream& err, int& numVertices, int& numTriangles, std::string& error);
