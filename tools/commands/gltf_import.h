// tolvan-convert import-gltf FILE.glb|FILE.gltf --anim OUT.anim.txt --rest-out OUT.rest.obj
//     [--animation N|NAME|all] [--mesh N|NAME] [--fps F] [--no-weld]
// Samples one animation of one mesh into Tolvan's two input files, welding
// vertices that coincide throughout unless told not to.
#pragma once

// argv[1] is the command's name. Prints what it did; returns the exit code.
int runGltfImport(int argc, char** argv);
