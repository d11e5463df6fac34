// The skeleton as a tree of joint nodes: each connected group of bones is
// rooted at its heaviest bone (largest total skinning weight), and every
// bone gets a head, the point in rest-pose coordinates it turns about.
#pragma once

#include <vector>

#include "io/rig_text.h"

struct JointTree {
    std::vector<int> parent; // per bone, -1 for the root of a group
    std::vector<int> order;  // every bone after its parent
    std::vector<int> roots;  // group roots, the heaviest bone's group first
    std::vector<double> head; // per bone x, y, z: the joint with its parent;
                              // for a root the weighted centre of its vertices
    std::vector<double> weight; // per bone, the sum of its skinning weights
    std::vector<double> centre; // per bone x, y, z: weighted centre of its vertices
                                // (the centre of all vertices for a bone without weight)
    std::vector<double> rotation; // per bone row-major 3x3: the joint's rest axes
                                  // (columns) in rest-pose coordinates, see joint_frames.h
    int ignoredLinks = 0;     // links that would close a loop
};

// restPositions: x, y, z per vertex of the rig's rest pose. Also orients
// the joints (orientJoints).
void buildJointTree(const RigData& rig, const std::vector<double>& restPositions, JointTree& tree);
