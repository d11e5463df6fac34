// Import of an animation kept as one OBJ file per frame: the frames become
// Tolvan's sequence file and the rest mesh its rest-pose file.
#pragma once

#include <string>
#include <vector>

struct ObjImportRequest {
    std::string restFile;              // OBJ: positions and faces of the rest pose
    std::vector<std::string> frameFiles; // OBJ per frame, in playing order
    std::string sequenceOut;           // written: sequence file
    std::string restOut;               // written: rest-pose file
};

// Reads the rest mesh and every frame, checks that each frame has the rest
// mesh's vertex count, and writes both outputs exactly (shortest text that
// reads back as the same doubles). Both files are written or neither is.
// On failure returns false with error naming the file (and line).
bool importObjFrames(const ObjImportRequest& request, int& numVertices, int& numTriangles, std::string& error);
