// Joint positions: least-squares points that two linked bones move alike.
#pragma once

#include "context/rigging_context.h"

// Solves every linked pair (every pair when allPairs) and mirrors [i][j] to [j][i].
void updateJoints(RiggingContext& context, bool allPairs);

// Weighted centroid of the vertices the two bones share (divided by 0.1 when
// the shared weight is below 0.1).
Vector jointPrior(const RiggingContext& context, int i, int j);

// Σ_f |(R_jf·q + t_jf) − (R_if·q + t_if)|², summed over the frames in order
// from 0.0: how far apart bones i and j carry the point q.
double jointDisagreement(const RiggingContext& context, int i, int j, const Vector& q);
