// tolvan-convert import-gltf: samples one animation of one mesh into Tolvan's two input files, welding
// vertices that coincide throughout unless told not to.
#pragma once

struct ParsedCommand;

// args as the command table declares import-gltf. Prints what it did;
// returns the exit code.
int runGltfImport(const ParsedCommand& args);
