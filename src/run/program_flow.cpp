#include "run/program_flow.h"

#include "run/command_line.h"
#include "run/rigging_context.h"

int runProgram(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    RiggingContext context;
    context.console = &out;
    if (isHelpRequest(argc, argv)) {
        printUsage(context, out);
        return 0;
    }
    if (parseCommandLine(context, argc, argv) != ParseResult::Ok) {
        printUsage(context, out);
        return 1;
    }
    std::string problem = checkParameters(context);
    if (!problem.empty()) {
        err << "Tolvan: " << problem << "\n";
        return 1;
    }
    // Loading, the decomposition and writing follow.
    return 0;
}
