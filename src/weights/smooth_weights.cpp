#include "weights/smooth_weights.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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

namespace {

// The neighbour list and rigidity weights of vertex v, checked as
// smoothedWeightVector checks them.
void neighbourLists(const RiggingContext& context, int v, const std::vector<int>*& nb,
                    const std::vector<double>*& rigidity)
{
    if (v < 0 || std::size_t(v) >= context.neighbours.size() || std::size_t(v) >= context.smoothWeights.size())
        throwSubscriptError();
    nb = &context.neighbours[v];
    rigidity = &context.smoothWeights[v];
    if (rigidity->size() < nb->size())
        throwSubscriptError();
}

// Sums rigidity-weighted neighbour weights into out[0 .. numBones) and
// normalises them. Entries that stay zero take no part: adding a zero to a
// sum that starts from +0.0 never changes it, and dividing a zero by a
// positive total gives the same zero, so skipping them changes no bit.
void normalisePrior(double* out, int numBones)
{
    double total = 0.0;
    for (int j = 0; j < numBones; ++j)
        if (out[j] != 0.0)
            total += out[j];
    if (total > 1e-6)
        for (int j = 0; j < numBones; ++j)
            if (out[j] != 0.0)
                out[j] = out[j] / total;
}

} // namespace

void smoothedWeightVector(const RiggingContext& context, int v, Vector& out, bool nonZeroOnly)
{
    const int numBones = context.numBones;
    out.resize(numBones);
    for (int j = 0; j < numBones; ++j)
        out[j] = 0.0;
    const Matrix& weights = context.weights;
    if (rowCount(weights) != std::size_t(context.numVertices) || columnCount(weights) != std::size_t(numBones))
        return;
    const std::vector<int>* nb;
    const std::vector<double>* rigidity;
    neighbourLists(context, v, nb, rigidity);
    const double minWeight = context.smoothWeightMin;
    for (std::size_t k = 0; k < nb->size(); ++k) {
        int e = (*nb)[k];
        double s = (*rigidity)[k];
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
    normalisePrior(out.data(), numBones);
}

void buildPriorTables(const RiggingContext& context, int minWidth, PriorTables& tables)
{
    const int numVertices = context.numVertices;
    const Matrix& weights = context.weights;
    tables.usable =
        rowCount(weights) == std::size_t(numVertices) && columnCount(weights) == std::size_t(context.numBones);
    if (!tables.usable)
        return;
    if (context.vertexBones.size() < std::size_t(numVertices))
        throwSubscriptError();
    if (tables.neighbourStart.size() != std::size_t(numVertices) + 1) {
        tables.neighbourStart.assign(std::size_t(numVertices) + 1, 0);
        std::size_t links = 0;
        for (int v = 0; v < numVertices && std::size_t(v) < context.neighbours.size(); ++v)
            links += context.neighbours[v].size();
        tables.neighbour.clear();
        tables.rigidity.clear();
        tables.neighbour.reserve(links);
        tables.rigidity.reserve(links);
        for (int v = 0; v < numVertices; ++v) {
            const std::vector<int>* nb;
            const std::vector<double>* rigidity;
            neighbourLists(context, v, nb, rigidity);
            for (std::size_t k = 0; k < nb->size(); ++k) {
                const int e = (*nb)[k];
                if (e < 0 || e >= numVertices)
                    throwSubscriptError();
                tables.neighbour.push_back(e);
                tables.rigidity.push_back((*rigidity)[k]);
            }
            tables.neighbourStart[v + 1] = int(tables.neighbour.size());
        }
    }
    int width = minWidth > 0 ? minWidth : 0;
    for (int v = 0; v < numVertices; ++v)
        if (int(context.vertexBones[v].size()) > width)
            width = int(context.vertexBones[v].size());
    tables.width = width;
    tables.count.assign(numVertices, 0);
    tables.bone.assign(std::size_t(numVertices) * width, 0);
    tables.weight.assign(std::size_t(numVertices) * width, 0.0);
    tables.exact.assign(numVertices, 0);
    for (int v = 0; v < numVertices; ++v)
        refreshPriorEntry(context, v, tables);
}

bool priorTablesCurrent(const RiggingContext& context, int k, const PriorTables& tables)
{
    const std::size_t numVertices = std::size_t(context.numVertices);
    return tables.kept && tables.usable && tables.width >= k && tables.count.size() == numVertices &&
           tables.neighbourStart.size() == numVertices + 1 && rowCount(context.weights) == numVertices &&
           columnCount(context.weights) == std::size_t(context.numBones) &&
           context.vertexBones.size() >= numVertices;
}

void refreshPriorEntry(const RiggingContext& context, int v, PriorTables& tables)
{
    if (!tables.usable)
        return;
    const std::vector<int>& list = context.vertexBones[v];
    const int n = int(list.size());
    if (n > tables.width)
        throwSubscriptError();
    int* bone = tables.bone.data() + std::size_t(v) * tables.width;
    double* weight = tables.weight.data() + std::size_t(v) * tables.width;
    if (tables.exact[v]) {
        // The row is +0.0 outside the old list: each new bone's weight is its
        // old entry's or +0.0. The row stays as it was, so it may now hold
        // weights outside the new list.
        int oldBones[64];
        double oldWeights[64];
        const int old = tables.count[v];
        if (old <= 64 && n <= 64) {
            std::copy(bone, bone + old, oldBones);
            std::copy(weight, weight + old, oldWeights);
            for (int i = 0; i < n; ++i) {
                const int j = list[i];
                if (j < 0 || j >= context.numBones)
                    throwSubscriptError();
                double w = 0.0;
                for (int o = 0; o < old; ++o)
                    if (oldBones[o] == j) {
                        w = oldWeights[o];
                        break;
                    }
                bone[i] = j;
                weight[i] = w;
            }
            tables.count[v] = n;
            tables.exact[v] = 0;
            return;
        }
    }
    const Vector& w = context.weights[v];
    for (int i = 0; i < n; ++i) {
        const int j = list[i];
        if (j < 0 || j >= context.numBones)
            throwSubscriptError();
        bone[i] = j;
        weight[i] = w[j];
    }
    tables.count[v] = n;
    tables.exact[v] = 0;
}

void setPriorEntry(PriorTables& tables, int v, const std::vector<int>& list, const Vector& row)
{
    if (!tables.usable)
        return;
    const int n = int(list.size());
    if (n > tables.width)
        throwSubscriptError();
    int* bone = tables.bone.data() + std::size_t(v) * tables.width;
    double* weight = tables.weight.data() + std::size_t(v) * tables.width;
    for (int i = 0; i < n; ++i) {
        bone[i] = list[i];
        weight[i] = row[list[i]];
    }
    tables.count[v] = n;
    tables.exact[v] = 1;
}

void smoothedPrior(const RiggingContext& context, const PriorTables& tables, int v, Vector& out)
{
    const int numBones = context.numBones;
    out.resize(numBones);
    double* o = out.data();
    std::fill(o, o + numBones, 0.0);
    if (!tables.usable)
        return;
    if (v < 0 || v >= context.numVertices)
        throwSubscriptError();
    const double minWeight = context.smoothWeightMin;
    // Up to 64 bones, the bones that received a term are flagged, so that the
    // total and the division visit only them, in increasing order.
    const bool flagged = numBones <= 64;
    std::uint64_t touched = 0;
    for (int k = tables.neighbourStart[v]; k < tables.neighbourStart[v + 1]; ++k) {
        const int e = tables.neighbour[k];
        const double s = tables.rigidity[k];
        const int* bone = tables.bone.data() + std::size_t(e) * tables.width;
        const double* weight = tables.weight.data() + std::size_t(e) * tables.width;
        for (int i = 0; i < tables.count[e]; ++i)
            if (weight[i] > minWeight) {
                o[bone[i]] += s * weight[i];
                touched |= std::uint64_t(1) << (bone[i] & 63);
            }
    }
    if (!flagged) {
        normalisePrior(o, numBones);
        return;
    }
    // Bones without a term hold 0.0: adding them to the total or dividing
    // them by it would change nothing (see normalisePrior).
    double total = 0.0;
    for (std::uint64_t bits = touched; bits != 0; bits &= bits - 1)
        total += o[__builtin_ctzll(bits)];
    if (total > 1e-6)
        for (std::uint64_t bits = touched; bits != 0; bits &= bits - 1) {
            const int j = __builtin_ctzll(bits);
            o[j] = o[j] / total;
        }
}
