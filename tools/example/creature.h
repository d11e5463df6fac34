// A procedurally built four-legged creature with a known skeleton: one
// closed, connected triangle mesh (trunk, neck, head and four two-segment
// legs welded together), smooth skinning weights and a looping animation
// made by linear blend skinning. Everything follows from the seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/obj_mesh.h"
#include "formats/rig_skinning.h"

struct CreatureOptions {
    std::uint64_t seed = 1;
    int numFrames = 30;
    // Mesh resolution: about detail² times the vertices of the bundled
    // creature (1766 at 1), the same shape and skeleton. From 1 to 8.
    double detail = 1.0;
    // Amplitude of a soft random motion on top of the skinned one (0: none,
    // and the truth rig reproduces the animation exactly). It breaks the
    // rigid parts into many small groups that move slightly differently:
    // at 0.03 the clustering of a run finds some 80 bones instead of 11.
    double soft = 0.0;
};

struct Creature {
    ObjMesh rest;                     // rest pose and triangles
    RigData rig;                      // ground truth: joints, transforms, weights
    std::vector<int> parent;          // per bone, -1 for the trunk
    std::vector<double> frames;       // numFrames x numVertices x 3, skinned positions
};

// Builds the creature. Bones: 0 trunk, 1 neck, 2 head, then upper and lower
// segment of the front-left, front-right, back-left and back-right legs.
void buildCreature(const CreatureOptions& options, Creature& creature);

// The sequence file of the animation. digits as for appendReal.
std::string formatSequence(const std::vector<double>& frames, int numFrames, int numVertices, int digits);
