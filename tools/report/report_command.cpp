#include "report/report_command.h"

#include <chrono>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "commands/command_table.h"
#include "io/atomic_file.h"
#include "io/sequence_file.h"
#include "report/report_html.h"

namespace {

int fail(const std::string& message)
{
    std::cerr << "tolvan-convert: " << message << "\n";
    return 1;
}

std::string reportName(const std::string& restFile)
{
    std::string name = std::filesystem::path(restFile).stem().string();
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".rest") == 0)
        name.resize(name.size() - 5);
    return name;
}

} // namespace

int runReportCommand(const ParsedCommand& args)
{
    struct {
        std::string anim;
        double fps;
        int maxFrames;
    } request{args.text("--anim"), args.number("--fps"), args.has("--max-frames") ? int(args.number("--max-frames")) : 0};
    const std::string& restFile = args.positional[0];
    const std::string& rigFile = args.positional[1];
    const std::string& outFile = args.positional[2];

    const auto start = std::chrono::steady_clock::now();
    ObjMesh rest;
    RigData rig;
    PointTable sequence;
    std::string error;
    if (!readObjMesh(restFile, true, rest, error) || !readRigFile(rigFile, rig, error))
        return fail(error);
    if (!request.anim.empty() && !readSequence(request.anim, sequence, error))
        return fail(error);
    const auto read = std::chrono::steady_clock::now();

    ReportData data;
    const bool withInput = !request.anim.empty();
    if (!buildReportData(rest, rig, withInput ? &sequence.values : nullptr, sequence.rows, request.maxFrames, data, error))
        return fail(restFile + ", " + rigFile + (withInput ? ", " + request.anim : "") + ": " + error);
    const std::string page = formatReportPage(data, {reportName(restFile), request.fps});
    if (!writeFileAtomically(outFile, page, error))
        return fail(error);
    const auto written = std::chrono::steady_clock::now();

    std::cout << "Wrote " << outFile << " (" << double(page.size()) / 1e6 << " MB: " << data.vertices << " vertices, "
              << data.triangleCount << " triangles, " << data.bones << " bones, " << data.frameCount << " frames";
    if (data.frameStep > 1)
        std::cout << ", 1 in " << data.frameStep << " of " << data.sourceFrames;
    std::cout << ") in " << std::chrono::duration<double>(written - read).count() << " s after reading the inputs in "
              << std::chrono::duration<double>(read - start).count() << " s\n";
    if (withInput) {
        ReportErrors errors;
        computeReportErrors(data, errors);
        std::ostringstream ef;
        ef << std::fixed << std::setprecision(2) << errors.rmsPercent;
        std::cout << "RMS error " << errors.rmsPercent << " % of the box diagonal"
                  << (data.frameStep > 1 ? " over the frames kept" : " (Tolvan's Ef: " + ef.str() + ")") << ", largest " << errors.largestPercent
                  << " % at vertex " << errors.largestVertex << " in frame " << errors.largestFrame << "\n";
    }
    // Browsers take long to open very large pages and may refuse them.
    if (page.size() > 200000000)
        std::cerr << "tolvan-convert: the report is large; --max-frames N keeps fewer frames\n";
    return 0;
}
