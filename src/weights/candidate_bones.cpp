#include <cmath>
#include <cstdint>

#include "parallel/parallel_for.h"
#include "weights/bone_contact.h"
#include "weights/candidate_scores.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"

// A vertex's candidates are the k bones of lowest score E(v, j) + κ·(1 − g_j)²,
// where E is the fit error under bone j alone, g the neighbours' smoothed
// weights and κ = numFrames·omega; ties keep the lower bone first.

namespace {

struct BoneScore {
    double score;
    int bone;
};

// Ranks records [0, count) by score in place until the best `wanted` lead,
// best first; records of equal score keep their order. This is the head of a
// stable sort by score, found without sorting the whole list. A score that is
// not a number ranks after every other score.
void rankBest(BoneScore* records, int count, int wanted)
{
    auto better = [](double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); };
    for (int t = 0; t < wanted && t < count; ++t) {
        int best = t;
        for (int i = t + 1; i < count; ++i)
            if (better(records[i].score, records[best].score))
                best = i;
        BoneScore chosen = records[best];
        for (int i = best; i > t; --i)
            records[i] = records[i - 1];
        records[t] = chosen;
    }
}

// Scores every bone the vertex may take (all, or those of its contact row)
// into records, in increasing bone order; returns how many.
int scoreVertex(const RiggingContext& context, const double* fit, const Vector& prior, double kappa,
                const std::uint64_t* allowed, int words, std::vector<BoneScore>& records)
{
    int count = 0;
    for (int w = 0; w < words; ++w) {
        std::uint64_t bits = allowed ? allowed[w] : ~std::uint64_t(0);
        for (; bits != 0; bits &= bits - 1) {
            const int j = w * 64 + __builtin_ctzll(bits);
            if (j >= context.numBones)
                break;
            double gap = 1.0 - prior[j];
            records[count].score = fit[j] + kappa * (gap * gap);
            records[count].bone = j;
            ++count;
        }
    }
    return count;
}

// Empties boneVertices; the vertex lists are replaced one by one, since each
// choice reads the lists of the vertices after it as they were.
void clearBoneLists(RiggingContext& context)
{
    context.boneVertices.resize(context.numBones > 0 ? context.numBones : 0);
    for (std::vector<int>& list : context.boneVertices)
        list.clear();
    context.vertexBones.resize(context.numVertices);
}

void checkShapes(const RiggingContext& context)
{
    const PointTable& seq = context.sequence;
    if (std::size_t(context.numBones) > context.bones.size() || rowCount(context.restPose) < std::size_t(context.numVertices) ||
        seq.rows < context.numFrames || seq.columns < context.numVertices)
        throwSubscriptError();
}

// Work of one thread of the choice.
struct ChoiceWork {
    std::vector<BoneScore> records;
    Vector prior;
};

// Vertex v's choice: its k best bones into vertexBones[v], and with
// restricted (tables and contact given) its prior entry brought up to date.
// Reads the neighbours' entries: the lower-numbered ones as they are after
// their own choice, the higher-numbered ones as before theirs.
void chooseForVertex(RiggingContext& context, const CandidateScores& scores, PriorTables* tables,
                     const BoneContact* contact, int k, int v, ChoiceWork& work)
{
    const double kappa = double(context.numFrames) * context.omega;
    if (tables)
        smoothedPrior(context, *tables, v, work.prior);
    else
        smoothedWeightVector(context, v, work.prior, false);
    // Only bones that may be taken are ranked; the best k of them, in
    // order, are what a walk over all bones sorted by score would take.
    const int words = (context.numBones + 63) / 64;
    const int count = scoreVertex(context, vertexScores(context, scores, v), work.prior, kappa,
                                  contact ? contact->row(contact->dominantBone[v]) : nullptr, words, work.records);
    const int taken = k < 0 ? 0 : k < count ? k : count;
    rankBest(work.records.data(), count, taken);
    std::vector<int>& list = context.vertexBones[v];
    list.clear();
    for (int t = 0; t < taken; ++t)
        list.push_back(work.records[t].bone);
    if (tables)
        refreshPriorEntry(context, v, *tables);
}

} // namespace

void selectCandidateBones(RiggingContext& context, int k, bool restricted, FitCache* cache)
{
    const int numVertices = context.numVertices, numBones = context.numBones;
    clearBoneLists(context);
    if (numBones <= 0) {
        for (std::vector<int>& list : context.vertexBones)
            list.clear();
        return;
    }
    checkShapes(context);

    CandidateScores scores;
    prepareScores(context, cache, scores);
    // The prior's tables as the last weight pass left them, or fresh ones.
    PriorTables ownTables;
    PriorTables& tables = cache ? cache->prior : ownTables;
    const bool tablesKept = cache && restricted && priorTablesCurrent(context, k, tables);
    if (restricted && !tablesKept)
        buildPriorTables(context, k, tables);
    tables.kept = false;
    BoneContact contact;
    if (restricted)
        buildBoneContact(context, tablesKept && tables.usable ? &tables : nullptr, tables.usable ? &tables : nullptr,
                         contact);
    // Only the bones that a vertex of a tile may take are scored.
    scoreTiles(context, restricted ? &contact : nullptr, context.pool, scores);

    std::vector<ChoiceWork> work(std::size_t(context.pool ? context.pool->size() : 1));
    for (ChoiceWork& w : work)
        w.records.resize(std::size_t(numBones));
    if (restricted) {
        // Each choice reads its neighbours' prior entries, the lower-numbered
        // ones as their own choice left them: one thread, in vertex order.
        // (Any order that keeps this lets only vertices of one level of the
        // mesh's dependency graph run side by side, scattered over the
        // tables; on the meshes measured that lost more than it gained.)
        for (int v = 0; v < numVertices; ++v)
            chooseForVertex(context, scores, &tables, &contact, k, v, work[0]);
    } else {
        // Over all bones, the prior reads only weights, which do not change.
        parallelFor(context.pool, numVertices, [&](int v, int t) {
            chooseForVertex(context, scores, nullptr, nullptr, k, v, work[std::size_t(t)]);
        });
    }
    // Each bone's vertices in increasing order.
    for (int v = 0; v < numVertices; ++v)
        for (int b : context.vertexBones[v])
            context.boneVertices[b].push_back(v);
    tables.kept = cache && restricted;
}
