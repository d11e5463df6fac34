// Writer of the rig file: joints, per-frame bone transformations, weights.
#pragma once

#include <string>

#include "run/rigging_context.h"

// Writes the rig atomically (temporary file in the target's folder, renamed
// over the target when complete). Returns false and sets error on failure;
// an existing file is then left as it was.
bool writeRig(const RiggingContext& context, const std::string& fileName, std::string& error);
