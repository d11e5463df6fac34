#include "run/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ios>

std::string sequenceFile;
std::string restPoseFile;
std::string outputFile;

namespace {

enum class OptionKind { Int, Real };

struct OptionSpec {
    const char* name;
    OptionKind kind;
    int RiggingContext::*intField;
    double RiggingContext::*realField;
};

const OptionSpec kOptions[] = {
    {"-DBG", OptionKind::Int, &RiggingContext::debugLevel, nullptr},
    {"-MAX_SPLIT", OptionKind::Int, &RiggingContext::maxSplit, nullptr},
    {"-MAX_NB", OptionKind::Int, &RiggingContext::maxInitClusters, nullptr},
    {"-N_REP", OptionKind::Int, &RiggingContext::rigIterations, nullptr},
    {"-RATE", OptionKind::Real, nullptr, &RiggingContext::lambdaRate},
    {"-NNZ", OptionKind::Int, &RiggingContext::nnz, nullptr},
    {"-N_REP_W", OptionKind::Real, nullptr, &RiggingContext::weightItersPerVertex},
    {"-OMEGA", OptionKind::Real, nullptr, &RiggingContext::omega},
    {"-JOINTS_REG", OptionKind::Real, nullptr, &RiggingContext::jointsReg},
    {"-SIG_WEIGHT", OptionKind::Real, nullptr, &RiggingContext::sigWeight},
    {"-PRUNE_SCALE", OptionKind::Real, nullptr, &RiggingContext::pruneScale},
};

const OptionSpec* findOption(const char* arg)
{
    for (const OptionSpec& o : kOptions)
        if (std::strcmp(o.name, arg) == 0)
            return &o;
    return nullptr;
}

} // namespace

ParseResult parseCommandLine(RiggingContext& context, int argc, const char* const* argv)
{
    sequenceFile.clear();
    restPoseFile.clear();
    outputFile.clear();
    bool missingValue = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i] ? argv[i] : "";
        if (const OptionSpec* o = findOption(arg)) {
            if (i + 1 >= argc) {
                missingValue = true;
                break;
            }
            const char* value = argv[++i] ? argv[i] : "";
            if (o->kind == OptionKind::Int)
                context.*(o->intField) = std::atoi(value);
            else
                context.*(o->realField) = std::atof(value);
            continue;
        }
        std::string* slot = sequenceFile.empty() ? &sequenceFile
                          : restPoseFile.empty() ? &restPoseFile
                          : outputFile.empty()   ? &outputFile
                                                 : nullptr;
        if (slot)
            *slot = arg;
    }
    if (missingValue)
        return ParseResult::MissingValue;
    if (sequenceFile.empty() || restPoseFile.empty() || outputFile.empty())
        return ParseResult::MissingFiles;
    return ParseResult::Ok;
}

bool isHelpRequest(int argc, const char* const* argv)
{
    return argc == 2 && argv[1] && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
}

std::string checkParameters(const RiggingContext& context)
{
    if (context.nnz < 1)
        return "-NNZ " + std::to_string(context.nnz) + ": at least 1 non-zero weight per vertex is needed";
    // Above 1e300 the weight times the frame count overflows and every
    // candidate score becomes NaN; NaN itself compares false here too.
    if (!(context.omega >= 0.0 && context.omega <= kMaxOmega)) {
        char buf[64];
        std::snprintf(buf, sizeof(buf), "%g", context.omega);
        return std::string("-OMEGA ") + buf + ": the smoothness weight must lie between 0 and 1e300";
    }
    return std::string();
}

void printUsage(const RiggingContext& context, std::ostream& out)
{
    const std::string rule(79, '-');
    std::string banner = "          Tolvan - skeletal rig extraction from an animated mesh";
    banner.resize(79, ' ');
    out << std::scientific;
    out << rule << "\n" << banner << "\n" << rule << "\n";
    out << "Tolvan.exe [Options] {Sequence} {RestPose} {Output}\n";
    out << "{Sequence}             Animated sequence file name\n";
    out << "{RestPose}             Rest pose file name\n";
    out << "{Output}               Output file\n";
    out << "[Options]\n";
    out << "    -DBG x          Debug info x=(0-no print, 1-brief, 2-log), default x=" << context.debugLevel << "\n";
    out << "    -MAX_SPLIT x    Maximum x LBG-VQ split iterations, default x=" << context.maxSplit << "\n";
    out << "    -MAX_NB x       Maximum x init clusters, default x=" << context.maxInitClusters << "\n";
    out << "    -N_REP x        Maximum x rigging iterations, default x=" << context.rigIterations << "\n";
    out << "    -RATE x         Lambda growth rate (Lambda*=x), default x=" << context.lambdaRate << "\n";
    out << "    -NNZ x          x non-zeros weights per vertex, default x=" << context.nnz << "\n";
    out << "    -N_REP_W x      [#vertices]*x weights update iters, default x=" << context.weightItersPerVertex << "\n";
    out << "    -OMEGA x        Omega=x for weights smoothness, default x=" << context.omega << "\n";
    out << "    -JOINTS_REG x   Joint positions regulization weight, default x=" << context.jointsReg << "\n";
    out << "    -PRUNE_SCALE x  Prune bone j if w_j^2<x*maxw^2, default x=" << context.pruneScale << "\n";
}
