// Linear blend skinning of the points of a rig as a rig file holds it.
#pragma once

#include "io/rig_text.h"

// Linear blend skinning of one rest-pose point by vertex v's weights in frame
// f: sum over the vertex's bones in ascending order of w·(R·p + t).
void skinPoint(const RigData& rig, int f, int v, const double* p, double* out);
