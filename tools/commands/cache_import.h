// tolvan-convert import-pc2 and import-mdd.
// A point cache with the OBJ mesh it was made from (triangles and rest
// positions) into Tolvan's two input files. --z-up turns a Z-up cache to
// Y-up as Blender's OBJ export does: (x, y, z) -> (x, z, -y).
#pragma once

#include <string>
#include <vector>

struct ParsedCommand;

// args as the command table declares import-pc2 and import-mdd. Returns the
// exit code.
int runCacheImport(const ParsedCommand& args);

// When frame 0 differs from the rest mesh (beyond 1e-4 of its box
// diagonal) but matches it after a quarter turn about an axis and/or a
// translation, the warning that says so and how to fix it; else "".
std::string restMismatchWarning(const std::vector<double>& rest, const double* frame0);
