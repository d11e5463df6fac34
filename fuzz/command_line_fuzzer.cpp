// Fuzzes the command line: the input is split at zero bytes into arguments,
// which go through parsing, the parameter check and the usage text.
#include <sstream>
#include <vector>

#include "fuzz_input_file.h"
#include "run/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments{"Tolvan"};
    std::string current;
    for (std::size_t i = 0; i < size && arguments.size() < 256; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current += char(data[i]);
        }
    }
    if (size > 0 && arguments.size() < 256)
        arguments.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(a.c_str());

    RiggingContext context;
    const ParseResult result = parseCommandLine(context, int(argv.size()), argv.data());
    const bool allNames = !sequenceFile.empty() && !restPoseFile.empty() && !outputFile.empty();
    FUZZ_CHECK(result != ParseResult::Ok || allNames, "success without three file names");
    FUZZ_CHECK(result != ParseResult::MissingFiles || !allNames, "three file names reported missing");
    (void)isHelpRequest(int(argv.size()), argv.data());

    // Parsing the same arguments again gives the same result and names.
    RiggingContext again;
    const std::string names[3] = {sequenceFile, restPoseFile, outputFile};
    FUZZ_CHECK(parseCommandLine(again, int(argv.size()), argv.data()) == result, "parsing is not repeatable");
    FUZZ_CHECK(names[0] == sequenceFile && names[1] == restPoseFile && names[2] == outputFile,
               "parsing is not repeatable");

    const std::string problem = checkParameters(context);
    FUZZ_CHECK(problem.find('\n') == std::string::npos, problem.c_str());
    FUZZ_CHECK(problem.empty() || (context.nnz < 1 || !(context.omega >= 0.0 && context.omega <= 1e300)), problem.c_str());

    std::ostringstream usage;
    printUsage(context, usage);
    const std::string text = usage.str();
    std::size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    FUZZ_CHECK(lines == 18 && !text.empty() && text.back() == '\n', "usage text is not 18 lines");
    FUZZ_CHECK(text.find('\n') == 79, "usage rule is not 79 characters");
    return 0;
}
