#include "commands/obj_import.h"

#include "commands/import_output.h"
#include "formats/obj_mesh.h"

bool importObjFrames(const ObjImportRequest& request, std::ostream& out, std::ostream& err, int& numVertices, int& numTriangles, std::string& error)
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
    std::vector<double> frames;
    frames.reserve(request.frameFiles.size() * rest.positions.size());
    ObjMesh frame;
    for (const std::string& name : request.frameFiles) {
        if (!readObjMesh(name, false, frame, error))
            return false;
        if (frame.positions.size() != rest.positions.size()) {
            error = name + ": " + std::to_string(frame.positions.size() / 3) + " vertices, but the rest mesh " + request.restFile +
                    " has " + std::to_string(count);
            return false;
        }
        frames.insert(frames.end(), frame.positions.begin(), frame.positions.end());
    }
    if (!finishImport(request.output, rest, frames, request.frameFiles.size(), out, err, error))
        return false;
    numVertices = int(rest.positions.size() / 3);
    numTriangles = int(rest.triangles.size() / 3);
    return true;
}
