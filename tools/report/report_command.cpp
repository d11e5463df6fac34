#include "report/report_command.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "io/atomic_file.h"
#include "io/sequence_file.h"
#include "report/report_html.h"

const char* const kReportUsage =
    "  tolvan-convert report REST.obj RIG.txt OUT.html [--anim SEQ.anim.txt] [--fps N] [--max-frames N]\n"
    "      One HTML file showing the rig playing, its skeleton, weights and (with --anim) its error.\n";

namespace {

struct ReportRequest {
    std::vector<std::string> files; // rest, rig, output
    std::string anim;
    double fps = 30.0;
    int maxFrames = 0;
};

int fail(const std::string& message, bool usage)
{
    std::cerr << "tolvan-convert: " << message << "\n";
    if (usage)
        std::cerr << "Usage:\n" << kReportUsage;
    return 1;
}

bool parsePositive(const char* text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return *text != '\0' && *end == '\0' && value > 0.0 && std::isfinite(value);
}

// Returns an error message, empty when the arguments are fine.
std::string parseArguments(int argc, char** argv, ReportRequest& request)
{
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--anim" || arg == "--fps" || arg == "--max-frames") {
            if (i + 1 >= argc)
                return arg + " needs a value";
            const char* value = argv[++i];
            double number = 0.0;
            if (arg == "--anim")
                request.anim = value;
            else if (!parsePositive(value, number) || (arg == "--max-frames" && (number != std::floor(number) || number > 1e9)))
                return "invalid value for " + arg + ": " + value;
            else if (arg == "--fps")
                request.fps = number;
            else
                request.maxFrames = int(number);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else {
            request.files.push_back(arg);
        }
    }
    if (request.files.size() != 3)
        return "report needs REST.obj, RIG.txt and OUT.html";
    return "";
}

std::string reportName(const std::string& restFile)
{
    std::string name = std::filesystem::path(restFile).stem().string();
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".rest") == 0)
        name.resize(name.size() - 5);
    return name;
}

} // namespace

int runReportCommand(int argc, char** argv)
{
    ReportRequest request;
    const std::string usageError = parseArguments(argc, argv, request);
    if (!usageError.empty())
        return fail(usageError, true);
    const std::string& restFile = request.files[0];
    const std::string& rigFile = request.files[1];
    const std::string& outFile = request.files[2];

    const auto start = std::chrono::steady_clock::now();
    ObjMesh rest;
    RigData rig;
    PointTable sequence;
    std::string error;
    if (!readObjMesh(restFile, true, rest, error) || !readRigFile(rigFile, rig, error))
        return fail(error, false);
    if (!request.anim.empty() && !readSequence(request.anim, sequence, error))
        return fail(error, false);
    const auto read = std::chrono::steady_clock::now();

    ReportData data;
    const bool withInput = !request.anim.empty();
    if (!buildReportData(rest, rig, withInput ? &sequence.values : nullptr, sequence.rows, request.maxFrames, data, error))
        return fail(restFile + ", " + rigFile + (withInput ? ", " + request.anim : "") + ": " + error, false);
    const std::string page = formatReportPage(data, {reportName(restFile), request.fps});
    if (!writeFileAtomically(outFile, page, error))
        return fail(error, false);
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
