// Rest orientation of every joint, so that an armature built from the joint
// nodes has its bones along the limbs: a joint's local +Y axis points from its
// head to its child's head (the mean of its children's heads), a leaf's along
// the principal axis of the rest vertices it carries, away from its head.
// The other two axes turn as little as possible from the parent's (for a
// root, from the rest pose's axes), so that a chain has no needless roll.
#pragma once

#include <vector>

#include "formats/joint_tree.h"

// restPositions: x, y, z per vertex. Fills tree.rotation (per bone a
// row-major 3x3 rotation whose columns are the joint's axes in rest-pose
// coordinates) from tree.parent, tree.order, tree.head and tree.centre.
void orientJoints(const RigData& rig, const std::vector<double>& restPositions, JointTree& tree);

// The rotation taking unit vector a to unit vector b about the axis
// perpendicular to both (row-major); a half turn about an axis perpendicular
// to a when b = -a.
void smallestRotation(const double a[3], const double b[3], double r[9]);
