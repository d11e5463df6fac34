// tolvan-convert: brings animations in and rigs out.
//   import-obj   OBJ frames -> Tolvan's sequence and rest-pose files
//   import-gltf  one animation of one glTF mesh -> the same two files
//   import-pc2, import-mdd  point cache + OBJ rest mesh -> the same two files
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
#include "commands/cache_import.h"
#include "commands/frame_order.h"
#include "commands/gltf_import.h"
#include "commands/obj_import.h"
#include "formats/file_kind.h"
#include "formats/obj_mesh.h"
#include "io/rig_text.h"
#include "io/atomic_file.h"
#include "report/report_command.h"

namespace {

const char* const kUsage =
    "Usage:\n"
    "  tolvan-convert import-obj --rest REST.obj --anim OUT.anim.txt --rest-out OUT.rest.obj FRAME.obj...\n"
    "      OBJ frames (read in the order given) to Tolvan's sequence and rest-pose files.\n"
    "  tolvan-convert export-gltf REST.obj RIG.txt OUT.glb|OUT.gltf [--fps N]\n"
    "      A rig and its rest mesh to an animated, skinned glTF 2.0 file (default 30 fps).\n"
    "  tolvan-convert import-gltf FILE.glb|FILE.gltf --anim OUT.anim.txt --rest-out OUT.rest.obj\n"
    "                [--animation N|NAME|all] [--mesh N|NAME] [--fps F] [--no-weld]\n"
    "      One animation of one mesh (skins, morph targets, node animation) sampled into Tolvan's\n"
    "      files; vertices that coincide in every frame are welded unless --no-weld.\n"
    "  tolvan-convert import-pc2|import-mdd CACHE --rest REST.obj --anim OUT.anim.txt --rest-out OUT.rest.obj [--z-up]\n"
    "      A point cache and the OBJ mesh it was made from; --z-up turns a Z-up cache to Y-up.\n";

int fail(const std::string& message)
{
    std::cerr << "tolvan-convert: " << message << "\n";
    return 1;
}

// message, then one line per input that looks like the wrong kind of file.
int failWithHints(const std::string& message, const std::vector<std::string>& hints, const std::string& usage)
{
    std::string text = message;
    bool any = false;
    for (const std::string& hint : hints)
        if (!hint.empty()) {
            text += "\ntolvan-convert: " + hint;
            any = true;
        }
    return fail(any ? text + "\ntolvan-convert: usage: " + usage : text);
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
    if (long at = firstFrameOutOfOrder(request.frameFiles); at >= 0)
        std::cerr << "tolvan-convert: warning: the frames are read in the order given, and " << request.frameFiles[std::size_t(at)]
                  << " comes before " << request.frameFiles[std::size_t(at) + 1]
                  << "; to order them by the numbers in their names, list them with `ls -v`\n";
    int vertices = 0, triangles = 0;
    std::string error;
    if (!importObjFrames(request, vertices, triangles, error)) {
        std::vector<std::string> hints = {wrongKindHint(request.restFile, FileKind::RestMesh, "--rest")};
        for (const std::string& frame : request.frameFiles)
            if (hints.size() < 2 && !wrongKindHint(frame, FileKind::RestMesh, "every frame").empty())
                hints.push_back(wrongKindHint(frame, FileKind::RestMesh, "every frame"));
        return failWithHints(error, hints, "import-obj --rest REST.obj --anim OUT.anim.txt --rest-out OUT.rest.obj FRAME.obj...");
    }
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
        return failWithHints(error, {wrongKindHint(files[0], FileKind::RestMesh, "the first argument"),
                                     wrongKindHint(files[1], FileKind::Rig, "the second argument")},
                             "export-gltf REST.obj RIG.txt OUT.glb|OUT.gltf [--fps N]");
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
    if (command == "import-gltf")
        return runGltfImport(argc, argv);
    if (command == "import-pc2" || command == "import-mdd")
        return runCacheImport(argc, argv);
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
