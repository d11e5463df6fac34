#include "skeleton/skeleton_extraction.h"

#include <algorithm>
#include <cmath>

#include "skeleton/joint_update.h"

namespace {

// Σ_v w_vi·w_vj over the dense weight columns.
double weightOverlap(const RiggingContext& context, int i, int j)
{
    double o = 0.0;
    for (int v = 0; v < context.numVertices; ++v) {
        const Vector& w = context.weights[v];
        o = o + w[i] * w[j];
    }
    return o;
}

// Ascending cost; a NaN cost sorts after every number so the order stays strict.
bool cheaper(const JointCandidate& a, const JointCandidate& b)
{
    if (std::isnan(a.cost))
        return false;
    return std::isnan(b.cost) || a.cost < b.cost;
}

} // namespace

void extractSkeleton(RiggingContext& context)
{
    const int numBones = context.numBones;
    updateJoints(context, true);
    if (rowCount(context.weights) < std::size_t(context.numVertices))
        throwSubscriptError();

    std::vector<JointCandidate> candidates;
    if (numBones > 1)
        candidates.reserve(std::size_t(numBones) * std::size_t(numBones - 1) / 2);
    for (int i = 0; i < numBones; ++i)
        for (int j = 0; j < i; ++j) {
            double o = weightOverlap(context, i, j);
            double e = jointDisagreement(context, i, j, context.jointTable.get(i, j));
            JointCandidate c;
            c.cost = std::sqrt(e / double(context.numFrames)) / (o + 0.001);
            c.key = numBones * i + j;
            candidates.push_back(c);
        }
    std::stable_sort(candidates.begin(), candidates.end(), cheaper);

    // Kruskal: the cheapest link between two components, until the tree spans every bone.
    SkeletonGraph& skeleton = context.skeleton;
    skeleton.reset(numBones);
    for (const JointCandidate& c : candidates) {
        if (numBones - skeleton.jointCount <= 1)
            break;
        int i = c.key / numBones;
        int j = c.key % numBones;
        if (skeleton.component[i] != skeleton.component[j])
            skeleton.addJoint(j, i);
    }
}
