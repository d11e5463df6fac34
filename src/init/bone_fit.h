// Rigid fit of one bone to a group of vertices, frame by frame.
#pragma once

#include <vector>

#include "init/lbg_vq.h"

constexpr int minGroupSize = 6;

// Fits bone (one R, t per frame) to the members' rest positions and frame
// positions. False when there are fewer than 6 members (bone untouched) or
// svd3 refuses a frame (earlier frames keep their new values).
bool fitBoneToGroup(const LbgParams& params, Bone& bone, std::vector<int> members);
