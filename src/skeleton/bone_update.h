// The B step: per bone and frame, the weighted rigid fit to the residuals,
// with one extra point pair per joint weighted by lambda.
#pragma once

#include <vector>

#include "context/rigging_context.h"

// Rebuilds residuals (numFrames x numVertices): r_fv = x_fv − Σ w_vk·(R_kf·p_v + t_kf)
// over the candidate bones k of v in list order.
void computeResiduals(RiggingContext& context);

// The B step. Rewrites every R_jf and t_jf in bone order (each bone sees the
// earlier bones' new tracks) and leaves residuals consistent with them (or,
// when they would be large, only residualNorms: see RiggingContext). A
// bone whose weight sum is 0 keeps its track; a frame whose covariance the
// SVD refuses keeps its previous R and t.
void updateBoneTransformations(RiggingContext& context, double lambda);
