// tolvan-convert: brings animations in and rigs out.
//   import-obj   OBJ frames -> Tolvan's sequence and rest-pose files
//   import-gltf  one animation of a glTF file's animated meshes -> the same two files
//   import-pc2, import-mdd  point cache + OBJ rest mesh -> the same two files
//   export-gltf  rest mesh + rig -> animated, skinned glTF 2.0 (.glb or .gltf)
//   report       rest mesh + rig (+ input) -> self-contained HTML report
// Every command's arguments are declared once, in convert_commands.cpp.
#include <chrono>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "formats/gltf_export.h"
#include "commands/cache_import.h"
#include "commands/command_table.h"
#include "commands/frame_order.h"
#include "commands/gltf_import.h"
#include "commands/obj_import.h"
#include "formats/file_kind.h"
#include "formats/obj_mesh.h"
#include "io/rig_text.h"
#include "io/atomic_file.h"
#include "report/report_command.h"

namespace {

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

int runImport(const ParsedCommand& args)
{
    ObjImportRequest request;
    request.restFile = args.text("--rest");
    request.output = importOutputOf(args);
    request.frameFiles = args.positional;
    if (long at = firstFrameOutOfOrder(request.frameFiles); at >= 0)
        std::cerr << "tolvan-convert: warning: the frames are read in the order given, and " << request.frameFiles[std::size_t(at)]
                  << " comes before " << request.frameFiles[std::size_t(at) + 1]
                  << "; to order them by the numbers in their names, list them with `ls -v`\n";
    int vertices = 0, triangles = 0;
    std::string error;
    if (!importObjFrames(request, std::cout, std::cerr, vertices, triangles, error)) {
        std::vector<std::string> hints = {wrongKindHint(request.restFile, FileKind::RestMesh, "--rest")};
        for (const std::string& frame : request.frameFiles)
            if (hints.size() < 2 && !wrongKindHint(frame, FileKind::RestMesh, "every frame").empty())
                hints.push_back(wrongKindHint(frame, FileKind::RestMesh, "every frame"));
        return failWithHints(error, hints, commandSynopsis(*args.decl));
    }
    std::cout << "Wrote " << request.output.sequenceOut << " (" << request.frameFiles.size() << " frames of " << vertices
              << " vertices) and " << request.output.restOut << " (" << triangles << " triangles)\n";
    return 0;
}

int runExport(const ParsedCommand& args)
{
    const std::vector<std::string>& files = args.positional;
    GltfExportOptions options;
    options.fps = args.number("--fps");
    const std::string extension = std::filesystem::path(files[2]).extension().string();
    if (extension != ".glb" && extension != ".gltf")
        return fail("export-gltf: the output must end in .glb or .gltf: " + files[2]);
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
                             commandSynopsis(*args.decl));
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
    const std::string name = argc > 1 ? argv[1] : "";
    if (name == "-h" || name == "--help" || name == "help") {
        std::cout << convertUsage();
        return 0;
    }
    const CommandDecl* command = findCommand(name);
    if (!command) {
        // An option first ("--fps 24 export-gltf ...") is a misplaced option, not a command.
        const std::string what = name.empty()               ? "no command given"
                                 : name.starts_with("-") ? name + " comes before the command; options follow the command's name"
                                                         : "unknown command " + name;
        std::cerr << "tolvan-convert: " << what << "\n" << convertUsage();
        return 1;
    }
    ParsedCommand args;
    std::string error;
    if (!parseCommand(*command, std::vector<std::string>(argv + 2, argv + argc), args, error)) {
        std::cerr << "tolvan-convert " << error << "\nUsage:\n" << commandUsage(*command);
        return 1;
    }
    if (args.help) {
        std::cout << "Usage:\n" << commandUsage(*command);
        return 0;
    }
    if (name == "import-obj")
        return runImport(args);
    if (name == "export-gltf")
        return runExport(args);
    if (name == "import-gltf")
        return runGltfImport(args);
    if (name == "import-pc2" || name == "import-mdd")
        return runCacheImport(args);
    return runReportCommand(args);
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
