#include <cmath>
#include <cstdint>

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

// The bones that any vertex of the tile starting at first may take, into wanted.
void tileWanted(const RiggingContext& context, const BoneContact* contact, int first, std::vector<std::uint64_t>& wanted)
{
    const int end = context.numVertices - first < kVertexTile ? context.numVertices : first + kVertexTile;
    for (std::uint64_t& w : wanted)
        w = contact ? 0 : ~std::uint64_t(0);
    for (int u = first; contact && u < end; ++u) {
        const std::uint64_t* row = contact->row(contact->dominantBone[u]);
        for (std::size_t w = 0; w < wanted.size(); ++w)
            wanted[w] |= row[w];
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

} // namespace

void selectCandidateBones(RiggingContext& context, int k, bool restricted, FitCache* cache)
{
    const int numVertices = context.numVertices, numBones = context.numBones;
    const double kappa = double(context.numFrames) * context.omega;
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

    const int words = (numBones + 63) / 64;
    std::vector<std::uint64_t> wanted(static_cast<std::size_t>(words));
    std::vector<BoneScore> records(static_cast<std::size_t>(numBones));
    Vector prior;
    for (int v = 0; v < numVertices; ++v) {
        // Only the bones that a vertex of the tile may take are scored.
        if (v % kVertexTile == 0) {
            tileWanted(context, restricted ? &contact : nullptr, v, wanted);
            scoreTile(context, v, wanted.data(), scores);
        }
        // The neighbours before v already hold their new lists here.
        if (restricted)
            smoothedPrior(context, tables, v, prior);
        else
            smoothedWeightVector(context, v, prior, false);
        // Only bones that may be taken are ranked; the best k of them, in
        // order, are what a walk over all bones sorted by score would take.
        const int count = scoreVertex(context, vertexScores(context, scores, v), prior, kappa,
                                      restricted ? contact.row(contact.dominantBone[v]) : nullptr, words, records);
        const int taken = k < 0 ? 0 : k < count ? k : count;
        rankBest(records.data(), count, taken);
        std::vector<int>& list = context.vertexBones[v];
        list.clear();
        for (int t = 0; t < taken; ++t) {
            list.push_back(records[t].bone);
            context.boneVertices[records[t].bone].push_back(v);
        }
        if (restricted)
            refreshPriorEntry(context, v, tables);
    }
    tables.kept = cache && restricted;
}
