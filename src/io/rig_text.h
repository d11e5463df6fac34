// The rig file as plain data, with the one writer of its text and a reader
// that checks everything a later consumer relies on.
#pragma once

#include <string>
#include <vector>

struct RigJoint {
    int a = 0; // a < b
    int b = 0;
    double position[3] = {0.0, 0.0, 0.0}; // rest-pose coordinates
};

struct RigInfluence {
    int bone = 0;
    double weight = 0.0;
};

struct RigData {
    int numBones = 0;
    int numFrames = 0;
    int numVertices = 0;
    std::vector<RigJoint> joints; // each linked pair once
    // Frame f, bone j: 12 doubles at (f * numBones + j) * 12: R row 0, row 1,
    // row 2, then t. A rest-pose point p moves to R·p + t.
    std::vector<double> transforms;
    std::vector<std::vector<RigInfluence>> weights; // per vertex, ascending bone, no zeros
};

// Reads a rig file. Every number must be finite, every index in range,
// weights non-negative and the three sections must agree on the bone count.
// On failure returns false with error naming the file and line.
bool readRigFile(const std::string& fileName, RigData& rig, std::string& error);

// The rig's text: four header lines (comment is the free text of the
// third), then the joints (each listed from both of its bones, in bone
// order), the bones' 3x4 matrices per frame and the weights per vertex.
// Reals as formatReal writes them with digits (6: the stream's default
// format, as Tolvan writes; 0: exact). Weights of exactly 0 are left out.
std::string formatRig(const RigData& rig, int digits, const std::string& comment);
