// Reader of the rest pose: "v x y z" and "f a b c" records (1-based indices).
#pragma once

#include <string>

#include "linalg/dense.h"
#include "run/rigging_context.h"

// Empties and fills restPose and triangles (0-based). On failure returns
// false and sets error to a one-line reason naming the file and line.
bool readRestPose(const std::string& fileName, Matrix& restPose, Triangles& triangles, std::string& error);
