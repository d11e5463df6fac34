#include <gtest/gtest.h>

#include <sstream>

#include "io_test_files.h"
#include "run/command_line.h"
#include "run/program_flow.h"

TEST(LoadAndWriteSteps, PrintTheirLinesAndFillTheContext)
{
    ScratchFolder folder;
    sequenceFile = folder.file("seq.txt", "1 4\n0 0 0 1 0 0 0 1 0 1 1 0\n");
    restPoseFile = folder.file("rest.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 3 2 4\n");
    outputFile = folder.at("out.rig.txt");
    RiggingContext context;
    std::ostringstream console, err;
    context.console = &console;
    Triangles triangles;
    ASSERT_TRUE(loadInputs(context, triangles, err)) << err.str();
    EXPECT_EQ(context.neighbours, (std::vector<std::vector<int>>{{1, 2}, {0, 2, 3}, {1, 0, 3}, {1, 2}}));
    context.numVertices = 1;
    EXPECT_TRUE(writeOutput(context, err));
    EXPECT_EQ(console.str(), "Loading " + sequenceFile + "... Done!\nLoading " + restPoseFile + "... Done!\nWriting " +
                                 outputFile + "... Done!\n");
    EXPECT_EQ(err.str(), "");

    // A rig that cannot be written: "Error!" at every debug level, the reason on err.
    console.str("");
    context.debugLevel = 0;
    outputFile = folder.at("no/such/folder/out.rig.txt");
    EXPECT_FALSE(writeOutput(context, err));
    EXPECT_EQ(console.str(), "Error!\n");
    EXPECT_EQ(err.str().rfind("Tolvan: cannot create a temporary file for " + outputFile, 0), 0u) << err.str();
}
