// The B step's fused kernel: every bone's fit in one frame, with the
// residual row, the old share out and the new share back in one pass over
// each bone's vertices, points in vector lanes.
#pragma once

#include <vector>

#include "context/rigging_context.h"
#include "skeleton/residual_blend.h"

// Every bone's candidate vertices and joints for one B step, gathered once,
// bone after bone, with the rest pose in one compact block. Source points
// p_v − c_s are not stored: each use recomputes the same difference.
struct BoneRuns {
    std::vector<std::size_t> first;      // numBones + 1: bone j's entries are first[j] .. first[j+1]−1
    std::vector<int> vertex;             // v per entry
    std::vector<double> weight;          // w_vj per entry
    std::vector<std::size_t> jointFirst; // numBones + 1, into the joint lists
    std::vector<int> jointBone;          // neighbour k per joint
    std::vector<double> jointPoint;      // q_jk, 3 per joint
    std::vector<double> centroid;        // c_s, 3 per bone
    std::vector<double> rest;            // p_v, 3 per vertex
    std::vector<unsigned char> distinct; // per bone: its list holds no vertex twice
};

// Gathers every bone's runs for a B step with joint weight h, and the source
// centroid c_s of each bone: weight w_vj² per listed vertex, then h per joint
// neighbour (increasing index), summed from 0.0 in that order; not finite when
// the weight sum is 0.
void gatherRuns(const RiggingContext& context, double h, BoneRuns& runs);

// Frame f of the B step: the residual row of the whole blend, written to row
// (3·numVertices doubles), then every bone in order: its old share out, the
// fit, its new share back; row ends as the frame's residuals. Reads and
// writes nothing of the other frames, so frames may be fitted side by side,
// each with its own jointTarget (room for 3·numBones doubles: the targets y
// of the bone being fitted) and row.
void fitFrame(RiggingContext& context, const ResidualBlend& blend, const BoneRuns& runs, double* jointTarget, int f,
              double h, double* row);
