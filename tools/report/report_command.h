// tolvan-convert report: one self-contained HTML file showing a rig on its
// rest mesh, playing, with the skeleton, the weights and (with the input
// sequence) the error against the input.
#pragma once

struct ParsedCommand;

// args as the command table declares report. Prints what it wrote, or the reason on standard
// error; returns the exit code.
int runReportCommand(const ParsedCommand& args);
