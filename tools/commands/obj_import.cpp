#include "commands/obj_import.h"

#include "formats/obj_mesh.h"
#include "formats/text_output.h"

bool importObjFrames(const ObjImportRequest& request, int& numVertices, int& numTriangles, std::string& error)
{
    if (request.frameFiles.empty()) {
        error = "no frame files given";
        return false;
    }
    ObjMesh rest;
    if (!readObjMesh(request.restFile, true, rest, error))
        return false;
    const std::size_t count = rest.positions.size() / 3;
    if (count == 0) {
        error = request.restFile + ": no vertices";
        return false;
    }
    std::string sequence = std::to_string(request.frameFiles.size()) + " " + std::to_string(count) + "\n";
    ObjMesh frame;
    for (const std::string& name : request.frameFiles) {
        if (!readObjMesh(name, false, frame, error))
            return false;
        if (frame.positions.size() != rest.positions.size()) {
            error = name + ": " + std::to_string(frame.positions.size() / 3) + " vertices, but the rest mesh " + request.restFile +
                    " has " + std::to_string(count);
            return false;
        }
        for (std::size_t i = 0; i < frame.positions.size(); i += 3) {
            appendReal(sequence, frame.positions[i], 0);
            sequence += ' ';
            appendReal(sequence, frame.positions[i + 1], 0);
            sequence += ' ';
            appendReal(sequence, frame.positions[i + 2], 0);
            sequence += '\n';
        }
    }
    std::vector<StagedFile> staged(2);
    if (!stageFile(request.sequenceOut, sequence, staged[0], error))
        return false;
    if (!stageFile(request.restOut, formatRestPose(rest, 0), staged[1], error)) {
        staged.resize(1);
        discardStagedFiles(staged);
        return false;
    }
    if (!commitStagedFiles(staged, error))
        return false;
    numVertices = int(count);
    numTriangles = int(rest.triangles.size() / 3);
    return true;
}
