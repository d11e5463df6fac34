// The loading lines and a good write are covered end to end by the bad-input
// corpus and the whole-run tests.
#include <gtest/gtest.h>

#include <sstream>

#include "io_test_files.h"
#include "run/command_line.h"
#include "run/program_flow.h"

// A rig that cannot be written: "Error!" at every debug level, the reason on err.
TEST(LoadAndWriteSteps, AFailedWriteSaysErrorEvenWhenQuiet)
{
    ScratchFolder folder;
    RiggingContext context;
    std::ostringstream console, err;
    context.console = &console;
    context.debugLevel = 0;
    outputFile = folder.at("no/such/folder/out.rig.txt");
    EXPECT_FALSE(writeOutput(context, err));
    EXPECT_EQ(console.str(), "Error!\n");
    EXPECT_EQ(err.str().rfind("Tolvan: cannot create a temporary file for " + outputFile, 0), 0u) << err.str();
    EXPECT_EQ(err.str().find('\n'), err.str().size() - 1);
}
