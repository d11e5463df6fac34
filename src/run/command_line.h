// Command line: Tolvan [Options] {Sequence} {RestPose} {Output}
#pragma once

#include <ostream>
#include <string>

#include "context/rigging_context.h"

// The three file names of the run, filled by parseCommandLine.
extern std::string sequenceFile;
extern std::string restPoseFile;
extern std::string outputFile;

enum class ParseResult {
    Ok,           // all three file names given
    MissingFiles, // fewer than three file names: print the usage text
    MissingValue, // an option was the last argument: print the usage text
};

// Reads options into the context (atoi/atof semantics, the next argument is
// always the value) and positional arguments into the three file names.
// Arguments start at argv[1]. Empty arguments fill no slot.
ParseResult parseCommandLine(RiggingContext& context, int argc, const char* const* argv);

// True when the only argument is "--help" or "-h".
bool isHelpRequest(int argc, const char* const* argv);

// The largest smoothness weight a run accepts.
constexpr double kMaxOmega = 1e300;

// Refuses values the run cannot work with ("-NNZ" below 1, "-OMEGA" not a
// number between 0 and kMaxOmega).
// Returns an empty string when the values are usable, else a one-line reason.
std::string checkParameters(const RiggingContext& context);

// Writes the usage text with the current value of every option. Leaves the
// stream in scientific notation.
void printUsage(const RiggingContext& context, std::ostream& out);
