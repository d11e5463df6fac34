// The B step: per bone and frame, the weighted rigid fit to the residuals,
// with one extra point pair per joint weighted by lambda.
#pragma once

#include <vector>

#include "run/rigging_context.h"

void computeResiduals(RiggingContext& context);
void addBoneContribution(RiggingContext& context, int j, double sign);
void updateBoneTransformations(RiggingContext& context, double lambda);
