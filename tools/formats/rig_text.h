// The rig file as plain data, with a reader that checks everything a later
// consumer relies on and a writer of the same layout Tolvan writes.
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

// The rig in the file layout. digits as for appendReal (0 = exact); comment
// is the free text of the third line.
std::string formatRig(const RigData& rig, int digits, const std::string& comment);

// Linear blend skinning of one rest-pose point by vertex v's weights in frame
// f: sum over the vertex's bones in ascending order of w·(R·p + t).
void skinPoint(const RigData& rig, int f, int v, const double* p, double* out);
