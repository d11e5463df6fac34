#include "skeleton/residual_blend.h"

#include "linalg/point_lanes.h"

void prepareBlend(const RiggingContext& context, ResidualBlend& blend)
{
    const int numFrames = context.numFrames, numVertices = context.numVertices, numBones = context.numBones;
    if (context.sequence.rows < numFrames || context.sequence.columns < numVertices)
        throwSubscriptError();
    blend.first.assign(std::size_t(numVertices) + 1, 0);
    for (int v = 0; v < numVertices; ++v)
        blend.first[v + 1] = blend.first[v] + int(context.vertexBones[v].size());
    blend.bone.resize(std::size_t(blend.first[numVertices]));
    blend.weight.resize(blend.bone.size());
    blend.rest.resize(3 * std::size_t(numVertices));
    for (int v = 0; v < numVertices; ++v) {
        const Vector& p = context.restPose[v];
        const Vector& w = context.weights[v];
        blend.rest[3 * v + 0] = p[0];
        blend.rest[3 * v + 1] = p[1];
        blend.rest[3 * v + 2] = p[2];
        int n = blend.first[v];
        for (int k : context.vertexBones[v]) {
            if (k < 0 || k >= numBones)
                throwSubscriptError();
            blend.bone[n] = k;
            blend.weight[n] = w[k];
            ++n;
        }
    }
    std::vector<double> flat;
    flattenBoneTransforms(context.bones, numFrames, flat);
    const std::size_t transforms = std::size_t(numFrames) * context.bones.size();
    blend.columns.resize(transforms * 16);
    for (std::size_t n = 0; n < transforms; ++n)
        columnLayout(flat.data() + 12 * n, blend.columns.data() + 16 * n);
    blend.stride = context.bones.size() * 16;
}

namespace {

// Row f with the points in lanes (see linalg/point_lanes.h).
template <class L>
POINT_INLINE void blendRowIn(const ResidualBlend& blend, const double* frame, const double* x, double* r,
                             int numVertices)
{
    for (int v = 0; v < numVertices; ++v) {
        const double* p = blend.rest.data() + 3 * std::size_t(v);
        typename L::Point s = L::zero();
        for (int n = blend.first[v]; n < blend.first[v + 1]; ++n)
            s = s + blend.weight[n] * L::move(L::laidOut(frame + std::size_t(blend.bone[n]) * 16), p);
        L::store(r + 3 * std::size_t(v), L::load(x + 3 * std::size_t(v)) - s);
    }
}

struct BlendRowKernel {
    template <bool Wide>
    static WIDE_INLINE void run(const ResidualBlend& blend, const double* frame, const double* x, double* r,
                                int numVertices)
    {
        blendRowIn<typename PointLanesFor<Wide>::Type>(blend, frame, x, r, numVertices);
    }
};

} // namespace

void residualRow(const RiggingContext& context, const ResidualBlend& blend, int f, double* row)
{
    const double* frame = blend.columns.data() + std::size_t(f) * blend.stride;
    const double* x = context.sequence.point(f, 0);
    runWidest<BlendRowKernel>(blend, frame, x, row, context.numVertices);
}
