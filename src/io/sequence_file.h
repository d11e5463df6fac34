// Reader of the animated sequence: "nF nV", then x y z per vertex per frame.
#pragma once

#include <string>

#include "linalg/dense.h"

// Fills sequence (nF x nV points, frame-major) from fileName. Numbers follow
// the grammar of stream extraction (io/number_text.h); any white space
// separates them and anything after the last coordinate is ignored; the last
// coordinate may end the file. Counts must be at least 1, and the file must
// be large enough to hold them before anything is allocated. On failure
// returns false, sets error to a one-line reason naming the file (and the
// line where known) and leaves sequence empty.
bool readSequence(const std::string& fileName, PointTable& sequence, std::string& error);
