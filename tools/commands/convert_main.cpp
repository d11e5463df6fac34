// tolvan-convert: brings OBJ frame sequences in and rigs out.
//   import-obj   OBJ frames -> Tolvan's sequence and rest-pose files
//   export-gltf  rest mesh + rig -> animated, skinned glTF 2.0 (.glb or .gltf)
//   report       rest mesh + rig (+ input) -> self-contained HTML report
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "formats/gltf_export.h"
#include "commands/obj_import.h"
#include "formats/obj_mesh.h"
#include "formats/rig_text.h"
#include "formats/text_output.h"
#include "report/report_command.h"

namespace {

const char* const kUsage =
    "Usage:\n"
    "  tolvan-convert import-obj --rest REST.obj --anim OUT.anim.txt --rest-out OUT.rest.obj FRAME.obj...\n"
    "      OBJ frames (read in the order given) to Tolvan's sequence and rest-pose files.\n"
    "  tolvan-convert export-gltf REST.obj RIG.txt OUT.glb|OUT.gltf [--fps N]\n"
    "      A rig and its rest mesh to an animated, skinned glTF 2.0 file (default 30 fps).\n";

int fail(const std::string& message)
{
    std::cerr << "tolvan-convert: " << message << "\n";
    return 1;
}

int usageError(const std::string& message)
{
    std::cerr << "tolvan-convert: " << message << "\n" << kUsage << kReportUsage;
    return 1;
}

int runImport(int argc, char** argv)
{
    ObjImportRequest request;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        std::string* target = arg == "--rest" ? &request.restFile : arg == "--anim" ? &request.sequenceOut
                                                                : arg == "--rest-out" ? &request.restOut
                                                                                      : nullptr;
        if (target) {
            if (i + 1 >= argc)
                return usageError(arg + " needs a file name");
            *target = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else {
            request.frameFiles.push_back(arg);
        }
    }
    if (request.restFile.empty() || request.sequenceOut.empty() || request.restOut.empty())
        return usageError("import-obj needs --rest, --anim and --rest-out");
    if (request.frameFiles.empty())
        return usageError("import-obj needs at least one frame file");
    int vertices = 0, triangles = 0;
    std::string error;
    if (!importObjFrames(request, vertices, triangles, error))
        return fail(error);
    std::cout << "Wrote " << request.sequenceOut << " (" << request.frameFiles.size() << " frames of " << vertices
              << " vertices) and " << request.restOut << " (" << triangles << " triangles)\n";
    return 0;
}

int runExport(int argc, char** argv)
{
    std::vector<std::string> files;
    GltfExportOptions options;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--fps") {
            if (i + 1 >= argc)
                return usageError("--fps needs a value");
            char* end = nullptr;
            options.fps = std::strtod(argv[++i], &end);
            if (*argv[i] == '\0' || *end != '\0' || !(options.fps > 0.0) || !std::isfinite(options.fps))
                return usageError(std::string("invalid frame rate ") + argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 3)
        return usageError("export-gltf needs REST.obj, RIG.txt and the output file");
    const std::string extension = std::filesystem::path(files[2]).extension().string();
    if (extension != ".glb" && extension != ".gltf")
        return usageError("the output must end in .glb or .gltf: " + files[2]);
    options.binary = extension == ".glb";
    options.name = std::filesystem::path(files[0]).stem().string();
    if (options.name.size() > 4 && options.name.compare(options.name.size() - 5, 5, ".rest") == 0)
        options.name.resize(options.name.size() - 5);

    auto start = std::chrono::steady_clock::now();
    ObjMesh rest;
    RigData rig;
    std::string error, contents;
    if (!readObjMesh(files[0], true, rest, error) || !readRigFile(files[1], rig, error))
        return fail(error);
    GltfExportReport report;
    if (!exportGltf(rest, rig, options, contents, report, error))
        return fail(files[0] + " with " + files[1] + ": " + error);
    if (!writeFileAtomically(files[2], contents, error))
        return fail(error);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (report.truncatedVertices > 0)
        std::cerr << "tolvan-convert: " << report.truncatedVertices
                  << " vertices have more than 4 weights; the 4 largest are kept and renormalised\n";
    if (report.unweightedVertices > 0)
        std::cerr << "tolvan-convert: " << report.unweightedVertices << " vertices have no weight; they follow the root bone\n";
    // Tolvan's own rigs stay well below this; more means the rig is not rigid.
    if (report.largestDifference > 1e-5)
        std::cerr << "tolvan-convert: the export differs from the rig's skinning by up to " << report.largestDifference
                  << " of the box diagonal (bone transformations that are not rotations, or weights beyond the 4 largest)\n";
    if (report.ignoredLinks > 0)
        std::cerr << "tolvan-convert: the skeleton has loops; " << report.ignoredLinks << " links are left out of the joint tree\n";
    std::cout << "Wrote " << files[2] << " (" << contents.size() << " bytes, " << rig.numBones << " joints, " << rig.numFrames
              << " frames at " << options.fps << " fps";
    if (report.reflections > 0)
        std::cout << ", " << report.reflections << " reflected bone frames";
    std::cout << ", largest difference from the rig " << report.largestDifference << " of the diagonal) in " << seconds << " s\n";
    return 0;
}

int run(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "import-obj")
        return runImport(argc, argv);
    if (command == "export-gltf")
        return runExport(argc, argv);
    if (command == "report")
        return runReportCommand(argc, argv);
    if (command == "-h" || command == "--help" || command == "help") {
        std::cout << kUsage << kReportUsage;
        return 0;
    }
    return usageError(command.empty() ? "no command given" : "unknown command " + command);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::cerr << "tolvan-convert: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "tolvan-convert: internal error: " << e.what() << "\n";
    }
    return 1;
}
