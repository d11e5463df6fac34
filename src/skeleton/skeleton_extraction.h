// Skeleton as a minimum spanning tree over the bones.
#pragma once

#include "context/rigging_context.h"

struct JointCandidate {
    double cost;
    int key; // numBones·i + j with i > j
};

void extractSkeleton(RiggingContext& context);
