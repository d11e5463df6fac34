#include "weights/bone_contact.h"

namespace {

int dominantInTables(const PriorTables& tables, int v)
{
    const int* bone = tables.bone.data() + std::size_t(v) * tables.width;
    const double* weight = tables.weight.data() + std::size_t(v) * tables.width;
    if (tables.count[v] == 0)
        return 0;
    int best = bone[0];
    double bestWeight = -1.0;
    for (int i = 0; i < tables.count[v]; ++i)
        if (weight[i] > bestWeight) {
            bestWeight = weight[i];
            best = bone[i];
        }
    return best;
}

int dominantInRow(const RiggingContext& context, int v)
{
    const std::vector<int>& list = context.vertexBones[v];
    if (list.empty())
        return 0;
    const Vector& w = context.weights[v];
    int best = list[0];
    double bestWeight = -1.0;
    for (int b : list)
        if (w[b] > bestWeight) {
            bestWeight = w[b];
            best = b;
        }
    if (best < 0 || best >= context.numBones)
        throwSubscriptError();
    return best;
}

} // namespace

void buildBoneContact(const RiggingContext& context, const PriorTables* tables, const PriorTables* neighbourRuns,
                      BoneContact& contact)
{
    const int numVertices = context.numVertices, numBones = context.numBones;
    if (context.vertexBones.size() < std::size_t(numVertices) || context.neighbours.size() < std::size_t(numVertices))
        throwSubscriptError();
    contact.words = (numBones + 63) / 64;
    contact.dominantBone.assign(numVertices, 0);
    // The tables hold every list with its weights: no weight row is read.
    for (int v = 0; v < numVertices; ++v)
        contact.dominantBone[v] = tables ? dominantInTables(*tables, v) : dominantInRow(context, v);

    const std::size_t words = std::size_t(contact.words);
    auto link = [&](int a, int b) { contact.bits[std::size_t(a) * words + b / 64] |= std::uint64_t(1) << (b % 64); };
    contact.bits.assign(std::size_t(numBones) * words, 0);
    for (int i = 0; i < numBones; ++i)
        link(i, i);
    for (int v = 0; v < numVertices; ++v) {
        const int dv = contact.dominantBone[v];
        auto touch = [&](int u) {
            if (u < 0 || u >= numVertices)
                throwSubscriptError();
            // Most edges join two vertices of one dominant bone, which
            // touches itself already.
            const int du = contact.dominantBone[u];
            if (du != dv) {
                link(du, dv);
                link(dv, du);
            }
        };
        // The prior's compact neighbour runs when it has them.
        if (neighbourRuns)
            for (int k = neighbourRuns->neighbourStart[v]; k < neighbourRuns->neighbourStart[v + 1]; ++k)
                touch(neighbourRuns->neighbour[k]);
        else
            for (int u : context.neighbours[v])
                touch(u);
    }
}
