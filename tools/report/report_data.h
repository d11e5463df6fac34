// What the HTML report carries, in the float32 / uint32 form it is stored
// in, and the error figures the page computes from it: the command computes
// the same figures from the same numbers so that it can print them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/joint_tree.h"
#include "formats/obj_mesh.h"
#include "io/rig_text.h"

struct ReportData {
    int vertices = 0;
    int triangleCount = 0;
    int bones = 0;
    int sourceFrames = 0; // frames of the rig (and of the input, when given)
    int frameStep = 1;    // every frameStep-th frame is kept, starting at 0
    int frameCount = 0;   // frames kept
    bool hasInput = false;
    std::vector<float> rest;               // x, y, z per vertex
    std::vector<std::uint32_t> triangles;  // three 0-based vertex indices each
    std::vector<std::uint32_t> weightStart; // vertex v's weights at [start[v], start[v + 1])
    std::vector<std::uint32_t> weightBone;  // ascending per vertex
    std::vector<float> weightValue;
    std::vector<float> transforms; // kept frame k, bone j: 12 at (k * bones + j) * 12, as in RigData
    std::vector<float> frames;     // kept frame k, vertex v: x, y, z at (k * vertices + v) * 3
    std::vector<RigJoint> joints;  // as in the rig
    JointTree tree;                // built from the rest pose as read (doubles)
};

// Builds the report's data. input is null or the input sequence, frame-major
// (sourceFrames x vertices x 3). maxFrames 0 keeps every frame; otherwise the
// step is the smallest that keeps at most maxFrames. Fails with error when
// the counts of mesh, rig and input differ, the rig has no frame, the mesh
// has no triangle, or a
// number does not fit a float32.
bool buildReportData(const ObjMesh& rest, const RigData& rig, const std::vector<double>* input, int inputFrames,
                     int maxFrames, ReportData& data, std::string& error);

struct ReportErrors {
    double diagonal = 0.0;       // of the rest pose's bounding box
    double rmsPercent = 0.0;     // over every kept frame and vertex
    double largestPercent = 0.0; // largest distance of a vertex from its input
    int largestVertex = 0;
    int largestFrame = 0;        // source frame number
};

// Distances between the skinned rest pose and the input over the kept
// frames, relative to the box diagonal, in percent. Needs data.hasInput.
// The RMS is one sum over frames, then vertices, from 0.0, as Tolvan sums its
// fit error; the skinning sums a vertex's bones in ascending order.
void computeReportErrors(const ReportData& data, ReportErrors& errors);
