// Reader of the rest pose: "v x y z" and "f a b c" records (1-based indices).
#pragma once

#include <string>

#include "context/triangles.h"
#include "linalg/dense.h"

// Empties and fills restPose (one row x y z per "v" record, in file order)
// and triangles (one per "f" record, 0-based). Records may come in any order;
// a keyword is the whole token "v" or "f". Fails on any other token where a
// record starts, on a value that does not parse, on a record cut short by the
// end of the file and on a face index outside 1 .. number of vertices (checked
// once the whole file is read). On failure returns false and sets error to a
// one-line reason naming the file and the line or face.
bool readRestPose(const std::string& fileName, Matrix& restPose, Triangles& triangles, std::string& error);
