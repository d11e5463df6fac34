#include "skeleton/residual_blend.h"

void prepareBlend(RiggingContext& context, ResidualBlend& blend)
{
    const int numFrames = context.numFrames, numVertices = context.numVertices, numBones = context.numBones;
    if (context.sequence.rows < numFrames || context.sequence.columns < numVertices)
        throwSubscriptError();
    resizePointTable(context.residuals, numFrames, numVertices);
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
    flattenBoneTransforms(context.bones, numFrames, blend.flat);
    blend.stride = context.bones.size() * 12;
}

namespace {

WIDE_CLONES void blendRow(const ResidualBlend& blend, const double* frame, const double* x, double* r,
                          int numVertices)
{
    for (int v = 0; v < numVertices; ++v) {
        const double* p = blend.rest.data() + 3 * std::size_t(v);
        Quad s = {0.0, 0.0, 0.0, 0.0};
        for (int n = blend.first[v]; n < blend.first[v + 1]; ++n) {
            Quad q;
            movePoint(columnsOf(frame + std::size_t(blend.bone[n]) * 12), p, q);
            s = s + blend.weight[n] * q;
        }
        store3(r + 3 * std::size_t(v), load3(x + 3 * std::size_t(v)) - s);
    }
}

} // namespace

void residualRow(RiggingContext& context, const ResidualBlend& blend, int f)
{
    blendRow(blend, blend.flat.data() + std::size_t(f) * blend.stride, context.sequence.point(f, 0),
             context.residuals.point(f, 0), context.numVertices);
}
