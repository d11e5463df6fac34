// tolvan-convert import-gltf: samples one animation of the animated meshes
// of a glTF file (joined into one, or those chosen) into Tolvan's input
// files, welding vertices that coincide throughout unless told not to.
#pragma once

struct ParsedCommand;

// args as the command table declares import-gltf. Prints what it did;
// returns the exit code.
int runGltfImport(const ParsedCommand& args);
