// The skeleton: an undirected graph over the bones with component labels.
#pragma once

#include <vector>

struct SkeletonGraph {
    std::vector<std::vector<bool>> adjacency; // symmetric, false diagonal
    std::vector<int> component;               // labels are bone indices
    int jointCount = 0;

    // n unlinked bones: no edges, component[i] = i.
    void reset(int n);
    // Links a and b unless they are already connected; a's component takes b's label.
    void addJoint(int a, int b);
};

// Whether a joint links bones a and b; a bone is never linked to itself, and
// bones the graph does not cover have no joints.
bool isLinked(const SkeletonGraph& skeleton, int a, int b);
