#include "weights/smooth_weights.h"

#include <cmath>

namespace {

double distance3(const double* a, const double* b)
{
    double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Rigidity weight of the edge v→e: the inverse of its rms length change over
// the sequence plus a small share of its rest length.
double edgeRigidity(const RiggingContext& context, int v, int e)
{
    const PointTable& seq = context.sequence;
    const Vector& pv = context.restPose[v];
    const Vector& pe = context.restPose[e];
    double restV[3] = {pv[0], pv[1], pv[2]};
    double restE[3] = {pe[0], pe[1], pe[2]};
    double d0 = distance3(restV, restE);
    double m = 0.0;
    for (int f = 0; f < context.numFrames; ++f) {
        double d = distance3(seq.at(f, v), seq.at(f, e)) - d0;
        m += d * d;
    }
    double rms = std::sqrt(m / context.numFrames);
    return 1.0 / (rms + context.smoothEpsilon * d0);
}

} // namespace

void computeSmoothWeights(RiggingContext& context)
{
    const int numVertices = context.numVertices;
    if (context.neighbours.size() < std::size_t(numVertices))
        throwSubscriptError();
    context.smoothWeights.resize(numVertices);
    // Largest finite weight, for the edges between coincident vertices that
    // never separate: their weight would be 1/0, and they are perfectly rigid.
    bool anyFinite = false;
    double largest = 0.0;
    bool anyInfinite = false;
    for (int v = 0; v < numVertices; ++v) {
        const std::vector<int>& nb = context.neighbours[v];
        std::vector<double>& out = context.smoothWeights[v];
        out.resize(nb.size(), 0.0);
        for (std::size_t k = 0; k < nb.size(); ++k) {
            double w = edgeRigidity(context, v, nb[k]);
            out[k] = w;
            if (std::isinf(w)) {
                anyInfinite = true;
            } else if (std::isfinite(w) && (!anyFinite || w > largest)) {
                largest = w;
                anyFinite = true;
            }
        }
    }
    if (!anyInfinite)
        return;
    double replacement = anyFinite ? largest : 1.0;
    for (int v = 0; v < numVertices; ++v)
        for (double& w : context.smoothWeights[v])
            if (std::isinf(w))
                w = replacement;
}

void smoothedWeightVector(const RiggingContext& context, int v, Vector& out, bool nonZeroOnly)
{
    const int numBones = context.numBones;
    out.resize(numBones);
    for (int j = 0; j < numBones; ++j)
        out[j] = 0.0;
    const Matrix& weights = context.weights;
    if (rowCount(weights) != std::size_t(context.numVertices) || columnCount(weights) != std::size_t(numBones))
        return;
    if (v < 0 || std::size_t(v) >= context.neighbours.size() || std::size_t(v) >= context.smoothWeights.size())
        throwSubscriptError();
    const std::vector<int>& nb = context.neighbours[v];
    const std::vector<double>& rigidity = context.smoothWeights[v];
    if (rigidity.size() < nb.size())
        throwSubscriptError();
    const double minWeight = context.smoothWeightMin;
    for (std::size_t k = 0; k < nb.size(); ++k) {
        int e = nb[k];
        double s = rigidity[k];
        const Vector& we = weights[e];
        if (nonZeroOnly) {
            if (e < 0 || std::size_t(e) >= context.vertexBones.size())
                throwSubscriptError();
            for (int j : context.vertexBones[e]) {
                double w = we[j];
                if (w > minWeight)
                    out[j] += s * w;
            }
        } else {
            for (int j = 0; j < numBones; ++j) {
                double w = we[j];
                if (w > minWeight)
                    out[j] += s * w;
            }
        }
    }
    double total = 0.0;
    for (int j = 0; j < numBones; ++j)
        total += out[j];
    if (total > 1e-6)
        for (int j = 0; j < numBones; ++j)
            out[j] = out[j] / total;
}
