// Writer of the rig file: joints, per-frame bone transformations, weights.
#pragma once

#include <string>

#include "context/rigging_context.h"

// Writes the rig of the context (numBones, skeleton and jointTable, numFrames
// and bones, numVertices and weights) to fileName, in the layout of
// formatRig with six significant digits; weights of exactly 0 are left out.
// The file is replaced all at once (writeFileAtomically). Returns false and
// sets error to a one-line reason on failure; an existing file is then left
// as it was. A container smaller than the counts raises
// std::out_of_range("invalid vector<T> subscript").
bool writeRig(const RiggingContext& context, const std::string& fileName, std::string& error);
