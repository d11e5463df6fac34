#include <cmath>
#include <cstring>

#include "weights/smooth_weights.h"
#include "weights/weight_update.h"

namespace {

// Bones are scored in blocks of this many, one vector lane per bone; the
// lanes are independent sums.
constexpr int kLanes = 4;
// Vertices are scored in tiles of this many: one block of bone
// transformations (all frames) is read once for the whole tile, and the
// tile's trajectories are gathered together from the frame-major sequence.
constexpr int kTile = 16;

struct BoneScore {
    double score;
    int bone;
};

// Work buffers of one selectCandidateBones call, sized once.
struct CandidateWork {
    int numBlocks = 0;
    std::vector<double> packed;       // [block][frame][12 entries][kLanes]
    std::vector<double> rest;         // a tile of rest points, [vertex][3]
    std::vector<double> trajectories; // the tile's positions, [vertex][frame][3]
    std::vector<double> scores;       // the tile's fit errors, [vertex][numBlocks * kLanes]
    std::vector<BoneScore> records;
    std::vector<int> dominantBone;
    std::vector<unsigned char> boneContact; // numBones x numBones
    Vector prior;
};

// Regroups the flattened transformations so that the same entry of kLanes
// consecutive bones is contiguous; lanes past the last bone hold zeros.
void packBones(const RiggingContext& context, CandidateWork& work)
{
    const int numBones = context.numBones, numFrames = context.numFrames;
    if (numBones < 0 || std::size_t(numBones) > context.bones.size())
        throwSubscriptError();
    std::vector<double> flat;
    flattenBoneTransforms(context.bones, numFrames, flat);
    const std::size_t stride = context.bones.size();
    work.numBlocks = (numBones + kLanes - 1) / kLanes;
    work.packed.assign(std::size_t(work.numBlocks) * numFrames * 12 * kLanes, 0.0);
    for (int j = 0; j < numBones; ++j) {
        int block = j / kLanes, lane = j % kLanes;
        for (int f = 0; f < numFrames; ++f) {
            const double* m = flat.data() + (std::size_t(f) * stride + j) * 12;
            double* dst = work.packed.data() + ((std::size_t(block) * numFrames + f) * 12) * kLanes + lane;
            for (int c = 0; c < 12; ++c)
                dst[c * kLanes] = m[c];
        }
    }
}

// Four lanes of doubles; each operation works on the lanes independently
// with ordinary IEEE double arithmetic (no contraction into fused
// multiply-add), so a lane computes exactly what the scalar expression would,
// with or without wide registers.
typedef double Quad __attribute__((vector_size(32)));
// The same for reading from any double array (unaligned, may alias doubles).
typedef double QuadIn __attribute__((vector_size(32), aligned(8), may_alias));

#if defined(__x86_64__)
#define WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define WIDE_CLONES
#endif

// Squared fit error of each vertex of the tile (rest points [vertex][3],
// trajectories [vertex][frame][3]) under every bone, summed over the frames in
// order, into scores [vertex][numBlocks * kLanes]. The rows are summed as
// m0·p0 + m1·p1 + m2·p2 + t: the leading 0.0 of the row sums in transformPoint
// could only flip the sign of a zero, which the squares remove, so the scores
// are bit for bit the same. Built twice on x86-64, for the baseline
// instruction set and for 256-bit registers, and chosen when the program loads.
WIDE_CLONES void scoreTile(const double* packed, int numBlocks, int numFrames, const double* rest, const double* trajectories,
          int count, double* scores)
{
    static_assert(kLanes == 4, "one block per vector");
    const std::size_t rowLength = std::size_t(numBlocks) * kLanes;
    for (int block = 0; block < numBlocks; ++block) {
        const double* blockStart = packed + std::size_t(block) * numFrames * 12 * kLanes;
        for (int i = 0; i < count; ++i) {
            const double px = rest[3 * i], py = rest[3 * i + 1], pz = rest[3 * i + 2];
            const double* x = trajectories + std::size_t(i) * numFrames * 3;
            const double* m = blockStart;
            Quad acc = {0.0, 0.0, 0.0, 0.0};
            for (int f = 0; f < numFrames; ++f, m += 12 * kLanes, x += 3) {
                const QuadIn* r = reinterpret_cast<const QuadIn*>(m);
                Quad tx = r[0] * px + r[1] * py + r[2] * pz + r[9];
                Quad ty = r[3] * px + r[4] * py + r[5] * pz + r[10];
                Quad tz = r[6] * px + r[7] * py + r[8] * pz + r[11];
                Quad ex = tx - x[0], ey = ty - x[1], ez = tz - x[2];
                acc += ey * ey + ex * ex + ez * ez;
            }
            std::memcpy(scores + i * rowLength + block * kLanes, &acc, sizeof acc);
        }
    }
}

// Rest points and positions in every frame of vertices first .. first+count−1.
void gatherTile(const RiggingContext& context, int first, int count, CandidateWork& work)
{
    const int numFrames = context.numFrames;
    for (int i = 0; i < count; ++i) {
        const Vector& p = context.restPose[first + i];
        for (int c = 0; c < 3; ++c)
            work.rest[3 * i + c] = p[c];
    }
    for (int f = 0; f < numFrames; ++f) {
        const double* x = context.sequence.point(f, first);
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < 3; ++c)
                work.trajectories[(std::size_t(i) * numFrames + f) * 3 + c] = x[3 * i + c];
    }
}

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

// The bone with the largest current weight in each vertex's list as it is on
// entry (the first of equal weights; bone 0 for an empty list), and the flags
// of bones that are dominant on the two ends of some mesh edge.
void buildBoneContact(const RiggingContext& context, CandidateWork& work)
{
    const int numVertices = context.numVertices, numBones = context.numBones;
    if (context.vertexBones.size() < std::size_t(numVertices) || context.neighbours.size() < std::size_t(numVertices))
        throwSubscriptError();
    work.dominantBone.assign(numVertices, 0);
    for (int v = 0; v < numVertices; ++v) {
        const std::vector<int>& list = context.vertexBones[v];
        if (list.empty())
            continue;
        const Vector& w = context.weights[v];
        int best = list[0];
        double bestWeight = -1.0;
        for (int b : list)
            if (w[b] > bestWeight) {
                bestWeight = w[b];
                best = b;
            }
        if (best < 0 || best >= numBones)
            throwSubscriptError();
        work.dominantBone[v] = best;
    }
    work.boneContact.assign(std::size_t(numBones) * numBones, 0);
    for (int i = 0; i < numBones; ++i)
        work.boneContact[std::size_t(i) * numBones + i] = 1;
    for (int v = 0; v < numVertices; ++v) {
        int dv = work.dominantBone[v];
        for (int u : context.neighbours[v]) {
            if (u < 0 || u >= numVertices)
                throwSubscriptError();
            int du = work.dominantBone[u];
            work.boneContact[std::size_t(du) * numBones + dv] = 1;
            work.boneContact[std::size_t(dv) * numBones + du] = 1;
        }
    }
}

} // namespace

void selectCandidateBones(RiggingContext& context, int k, bool restricted)
{
    const int numVertices = context.numVertices, numFrames = context.numFrames, numBones = context.numBones;
    const double kappa = double(numFrames) * context.omega;
    context.boneVertices.resize(numBones);
    for (std::vector<int>& list : context.boneVertices)
        list.clear();
    context.vertexBones.resize(numVertices);
    if (numBones <= 0) {
        for (std::vector<int>& list : context.vertexBones)
            list.clear();
        return;
    }

    CandidateWork work;
    if (restricted)
        buildBoneContact(context, work);
    packBones(context, work);
    const PointTable& seq = context.sequence;
    if (rowCount(context.restPose) < std::size_t(numVertices) || seq.rows < numFrames || seq.columns < numVertices)
        throwSubscriptError();
    work.rest.resize(kTile * 3);
    work.trajectories.resize(std::size_t(kTile) * numFrames * 3);
    work.scores.resize(std::size_t(kTile) * work.numBlocks * kLanes);
    work.records.resize(numBones);

    for (int v = 0; v < numVertices; ++v) {
        // Fit errors depend on nothing that this call changes; score a tile ahead.
        if (v % kTile == 0) {
            int count = numVertices - v < kTile ? numVertices - v : kTile;
            gatherTile(context, v, count, work);
            scoreTile(work.packed.data(), work.numBlocks, numFrames, work.rest.data(), work.trajectories.data(), count,
                      work.scores.data());
        }
        const double* fit = work.scores.data() + std::size_t(v % kTile) * work.numBlocks * kLanes;

        // The neighbours before v already hold their new lists here.
        smoothedWeightVector(context, v, work.prior, restricted);
        // Only bones that may be taken are ranked; the best k of them, in
        // order, are what a walk over all bones sorted by score would take.
        const unsigned char* contact =
            restricted ? work.boneContact.data() + std::size_t(work.dominantBone[v]) * numBones : nullptr;
        int count = 0;
        for (int j = 0; j < numBones; ++j) {
            if (contact && !contact[j])
                continue;
            double gap = 1.0 - work.prior[j];
            work.records[count].score = fit[j] + kappa * (gap * gap);
            work.records[count].bone = j;
            ++count;
        }
        int taken = k < count ? k : count;
        if (taken < 0)
            taken = 0;
        rankBest(work.records.data(), count, taken);

        std::vector<int>& list = context.vertexBones[v];
        list.clear();
        for (int t = 0; t < taken; ++t) {
            int b = work.records[t].bone;
            list.push_back(b);
            context.boneVertices[b].push_back(v);
        }
    }
}
