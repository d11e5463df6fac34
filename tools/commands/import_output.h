// What every importer writes: Tolvan's sequence file and rest-pose file,
// both or neither.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "formats/obj_mesh.h"

// frames: numFrames × vertices × (x, y, z), vertices as in rest. Numbers
// are written exactly (shortest text that reads back as the same double).
// On failure returns false with error naming the file; nothing is left.
bool writeImportedAnimation(const ObjMesh& rest, const std::vector<double>& frames, std::size_t numFrames,
                            const std::string& sequenceOut, const std::string& restOut, std::string& error);
