// The program: parse, load, decompose, write. Returns the exit code.
#pragma once

#include <ostream>

#include "context/rigging_context.h"

int runProgram(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Reads the sequence and the rest pose named on the command line into the
// context and builds the neighbourhood from the triangles, printing the
// "Loading <name>... Done!" lines on the console (not at debug level 0).
// On failure prints "Error!\n" (at every debug level), one line with the
// reason on err, and returns false. The rest pose must have as many vertices
// as every frame of the sequence.
bool loadInputs(RiggingContext& context, Triangles& triangles, std::ostream& err);

// Writes the rig to the output file named on the command line, framed by
// "Writing <name>... " and "Done!\n" (not at debug level 0). On failure
// prints "Error!\n" (at every debug level), the reason on err, and returns false.
bool writeOutput(const RiggingContext& context, std::ostream& err);
