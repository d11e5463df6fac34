#include "weights/smooth_weights.h"
#include "weights/weight_update.h"

namespace {

// Bones are scored in blocks of this many lanes; the lanes of a block are
// independent sums, so the compiler turns each lane loop into vector code.
constexpr int kLanes = 4;

struct BoneScore {
    double score;
    int bone;
};

// Work buffers of one selectCandidateBones call, sized once.
struct CandidateWork {
    int numBlocks = 0;
    std::vector<double> packed;     // [block][frame][12 entries][kLanes]
    std::vector<double> trajectory; // one vertex's positions, [frame][3]
    std::vector<double> scores;     // numBlocks * kLanes
    std::vector<BoneScore> records;
    std::vector<BoneScore> sortBuffer;
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

// Squared fit error of vertex p with trajectory x under every bone, summed
// over the frames in order. The rows are summed as m0·p0 + m1·p1 + m2·p2 + t:
// the leading 0.0 of the row sums could only flip the sign of a zero, which
// the squares remove, so the scores are those of transformPoint.
void scoreFit(const CandidateWork& work, int numFrames, const double* p, const double* x, double* scores)
{
    const double px = p[0], py = p[1], pz = p[2];
    for (int block = 0; block < work.numBlocks; ++block) {
        const double* m = work.packed.data() + std::size_t(block) * numFrames * 12 * kLanes;
        double acc[kLanes];
        for (int l = 0; l < kLanes; ++l)
            acc[l] = 0.0;
        for (int f = 0; f < numFrames; ++f, m += 12 * kLanes) {
            const double x0 = x[3 * f], x1 = x[3 * f + 1], x2 = x[3 * f + 2];
            for (int l = 0; l < kLanes; ++l) {
                double tx = m[0 * kLanes + l] * px + m[1 * kLanes + l] * py + m[2 * kLanes + l] * pz + m[9 * kLanes + l];
                double ty = m[3 * kLanes + l] * px + m[4 * kLanes + l] * py + m[5 * kLanes + l] * pz + m[10 * kLanes + l];
                double tz = m[6 * kLanes + l] * px + m[7 * kLanes + l] * py + m[8 * kLanes + l] * pz + m[11 * kLanes + l];
                double ex = tx - x0, ey = ty - x1, ez = tz - x2;
                acc[l] += ey * ey + ex * ex + ez * ez;
            }
        }
        for (int l = 0; l < kLanes; ++l)
            scores[block * kLanes + l] = acc[l];
    }
}

// Stable merge sort by score that allocates nothing (buffer sized by the caller).
// A record moves ahead of an earlier one only on a strictly smaller score.
void sortByScore(std::vector<BoneScore>& records, std::vector<BoneScore>& buffer)
{
    const std::size_t n = records.size();
    BoneScore* src = records.data();
    BoneScore* dst = buffer.data();
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            std::size_t mid = lo + width < n ? lo + width : n;
            std::size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
            std::size_t a = lo, b = mid, out = lo;
            while (a < mid && b < hi)
                dst[out++] = src[b].score < src[a].score ? src[b++] : src[a++];
            while (a < mid)
                dst[out++] = src[a++];
            while (b < hi)
                dst[out++] = src[b++];
        }
        BoneScore* t = src;
        src = dst;
        dst = t;
    }
    if (src != records.data())
        for (std::size_t i = 0; i < n; ++i)
            records[i] = src[i];
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
    work.trajectory.resize(std::size_t(numFrames) * 3);
    work.scores.resize(std::size_t(work.numBlocks) * kLanes);
    work.records.resize(numBones);
    work.sortBuffer.resize(numBones);

    for (int v = 0; v < numVertices; ++v) {
        const Vector& rest = context.restPose[v];
        const double p[3] = {rest[0], rest[1], rest[2]};
        for (int f = 0; f < numFrames; ++f) {
            const double* x = seq.point(f, v);
            for (int c = 0; c < 3; ++c)
                work.trajectory[3 * f + c] = x[c];
        }
        scoreFit(work, numFrames, p, work.trajectory.data(), work.scores.data());

        // The neighbours before v already hold their new lists here.
        smoothedWeightVector(context, v, work.prior, restricted);
        for (int j = 0; j < numBones; ++j) {
            double gap = 1.0 - work.prior[j];
            work.records[j].score = work.scores[j] + kappa * (gap * gap);
            work.records[j].bone = j;
        }
        sortByScore(work.records, work.sortBuffer);

        std::vector<int>& list = context.vertexBones[v];
        list.clear();
        const unsigned char* contact =
            restricted ? work.boneContact.data() + std::size_t(work.dominantBone[v]) * numBones : nullptr;
        for (const BoneScore& r : work.records) {
            if (int(list.size()) >= k)
                break;
            if (contact && !contact[r.bone])
                continue;
            list.push_back(r.bone);
            context.boneVertices[r.bone].push_back(v);
        }
    }
}
