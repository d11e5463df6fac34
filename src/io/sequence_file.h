// Reader of the animated sequence: "nF nV", then x y z per vertex per frame.
#pragma once

#include <string>

#include "linalg/dense.h"

// Fills sequence (nF x nV points). On failure returns false and sets error to a
// one-line reason naming the file (and the line where known).
bool readSequence(const std::string& fileName, PointTable& sequence, std::string& error);
