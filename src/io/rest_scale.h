// Whether the rest pose and the frames are in the same space: a rest pose in
// other units, in object instead of world space, or from a broken bind pose
// gives a rig that cannot reproduce the frames, with no other sign of it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct RestScale {
    double larger = 1.0;  // median over frames of the median over triangles of the larger singular value
    double smaller = 1.0; // the same for the smaller one
    bool checked = false; // false: no triangle of non-zero rest area, or no frame
};

// For every triangle of non-zero rest area and every frame, the two singular
// values of the linear map carrying the rest triangle's edges onto the same
// triangle's edges in the frame (1 and 1 for a rigid or bending motion, 100
// and 100 for other units, 1.21 and 1 for a scale of 1.21 along one axis).
// rest: x, y, z per vertex; corners: 3 vertex indices (from 0, in range)
// per triangle; frames: numFrames × vertices × (x, y, z).
RestScale measureRestScale(const std::vector<double>& rest, const int* corners, std::size_t numTriangles, const double* frames,
                           std::size_t numFrames);

// When the larger median exceeds 1.1 or the smaller lies below 0.9, the
// warning with both figures and the likely causes (no leading "warning: ",
// no fix); else "". Not when both lie beyond with their product (the change
// of area) within 0.9 to 1.1: that is a stretching motion, not another space.
std::string restScaleWarning(const RestScale& scale);
