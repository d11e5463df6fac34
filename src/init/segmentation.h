// Cuts every cluster into mesh-connected pieces; each fitted piece becomes a bone.
#pragma once

#include "init/lbg_vq.h"

// Writes the initial bones (in order of discovery) and one-hot weights
// (numVertices x clusterCount) into the containers the record refers to.
void segmentClusters(LbgParams& params);
