// The B step: per bone and frame, the weighted rigid fit to the residuals,
// with one extra point pair per joint weighted by lambda.
#pragma once

#include <vector>

#include "context/rigging_context.h"

// Rebuilds residuals (numFrames x numVertices): r_fv = x_fv − Σ w_vk·(R_kf·p_v + t_kf)
// over the candidate bones k of v in list order.
void computeResiduals(RiggingContext& context);

// r_fv += (w_vj·sign)·(R_jf·p_v + t_jf) for every vertex listing bone j and
// every frame. sign is +1.0 (take bone j's share out) or −1.0 (put it back).
void addBoneContribution(RiggingContext& context, int j, double sign);

// Source points of bone j, 3 doubles per point: p_v − c_s per vertex of
// boneVertices[j], then q_jk − c_s per joint neighbour k (increasing k).
// points is resized to |boneVertices[j]| + numBones − 1 points; the rest stay
// unused. Returns the source centroid c_s (weight w_vj² per vertex,
// jointWeight per joint); not finite when the weight sum is 0.
Vector boneSourcePoints(const RiggingContext& context, int j, std::vector<double>& points, double jointWeight);

// Target points of bone j in frame f against the current residuals:
// r_fv − w_vj·c_t per vertex, then y − c_t per joint neighbour k with
// y = R_kf·q_jk + t_kf. points is resized like the source list. Returns c_t.
Vector boneTargetPoints(const RiggingContext& context, int j, int f, std::vector<double>& points, double jointWeight);

// The B step. Rewrites every R_jf and t_jf in bone order (each bone sees the
// earlier bones' new tracks) and leaves residuals consistent with them. A
// bone whose weight sum is 0 keeps its track; a frame whose covariance the
// SVD refuses keeps its previous R and t.
void updateBoneTransformations(RiggingContext& context, double lambda);
