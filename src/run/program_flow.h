// The program: parse, load, decompose, write. Returns the exit code.
#pragma once

#include <ostream>

int runProgram(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
