#include "skeleton/bone_update.h"

#include <algorithm>
#include <cmath>

#include "linalg/svd3.h"

namespace {

// One bone's candidate vertices (their weights on the bone and rest
// positions) and joint neighbours (increasing index, joint positions q_jk),
// gathered once per bone so the per-frame loops read flat arrays. The
// buffers are reused from bone to bone and only ever grow.
struct BoneData {
    const int* vertices = nullptr;
    int count = 0;
    std::vector<double> weights;        // w_vj per listed vertex
    std::vector<double> positions;      // p_v, 3 per listed vertex
    std::vector<int> jointBones;        // neighbours k
    std::vector<double> jointPositions; // q_jk, 3 per neighbour
};

void requireAtLeast(std::size_t size, std::size_t needed)
{
    if (size < needed)
        throwSubscriptError();
}

// The containers every routine here reads, checked once per call.
void checkShapes(const RiggingContext& context)
{
    if (context.numBones < 0 || context.numVertices < 0 || context.numFrames < 0)
        throwSubscriptError();
    requireAtLeast(context.bones.size(), std::size_t(context.numBones));
    requireAtLeast(context.boneVertices.size(), std::size_t(context.numBones));
    requireAtLeast(context.vertexBones.size(), std::size_t(context.numVertices));
    requireAtLeast(rowCount(context.restPose), std::size_t(context.numVertices));
    requireAtLeast(rowCount(context.weights), std::size_t(context.numVertices));
}

void checkResidualShape(const RiggingContext& context)
{
    if (context.residuals.rows < context.numFrames || context.residuals.columns < context.numVertices)
        throwSubscriptError();
}

// A link of the skeleton; bones the graph does not cover have no joints.
bool isLinked(const SkeletonGraph& skeleton, int a, int b)
{
    if (a == b || std::size_t(a) >= skeleton.adjacency.size())
        return false;
    const std::vector<bool>& row = skeleton.adjacency[a];
    return std::size_t(b) < row.size() && row[b];
}

bool isFinite3(const Vector& v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

void gatherBone(const RiggingContext& context, int j, BoneData& data)
{
    const std::vector<int>& list = context.boneVertices[j];
    const std::size_t n = list.size();
    if (data.weights.size() < n) {
        data.weights.resize(n);
        data.positions.resize(3 * n);
    }
    for (std::size_t i = 0; i < n; ++i) {
        int v = list[i];
        if (v < 0 || v >= context.numVertices)
            throwSubscriptError();
        data.weights[i] = context.weights[v][j];
        const Vector& p = context.restPose[v];
        for (int a = 0; a < 3; ++a)
            data.positions[3 * i + a] = p[a];
    }
    data.vertices = list.data();
    data.count = int(n);

    data.jointBones.clear();
    for (int k = 0; k < context.numBones; ++k)
        if (isLinked(context.skeleton, j, k))
            data.jointBones.push_back(k);
    if (data.jointPositions.size() < 3 * data.jointBones.size())
        data.jointPositions.resize(3 * data.jointBones.size());
    for (std::size_t m = 0; m < data.jointBones.size(); ++m) {
        const double* q = context.jointTable.at(j, data.jointBones[m]);
        for (int a = 0; a < 3; ++a)
            data.jointPositions[3 * m + a] = q[a];
    }
}

// One bone's transformation in frame f in the layout of flattenBoneTransforms:
// R row 0, R row 1, R row 2, t.
void flattenFrame(const Bone& bone, int f, double* m)
{
    const Matrix& r = bone.rotations.at(f);
    const Vector& t = bone.translations.at(f);
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            m[a * 3 + b] = r[a][b];
    m[9] = t[0];
    m[10] = t[1];
    m[11] = t[2];
}

// r_fv += (w_vj·sign)·(R·p_v + t) over the bone's vertices in one frame.
void addFrameContribution(PointTable& residuals, const BoneData& data, const double* m, int f, double sign)
{
    for (int i = 0; i < data.count; ++i) {
        double q[3];
        transformFlat(m, data.positions.data() + 3 * i, q);
        double c = data.weights[i] * sign;
        double* r = residuals.point(f, data.vertices[i]);
        r[0] = r[0] + c * q[0];
        r[1] = r[1] + c * q[1];
        r[2] = r[2] + c * q[2];
    }
}

std::size_t listLength(const BoneData& data, int numBones)
{
    int n = data.count + numBones - 1;
    return std::size_t(n > 0 ? n : 0);
}

// Weight w² per vertex and h per joint; the points are left centred on c_s.
Vector sourcePoints(const BoneData& data, int numBones, double h, std::vector<double>& points)
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, W = 0.0;
    for (int i = 0; i < data.count; ++i) {
        double w = data.weights[i];
        double a = w * w;
        const double* p = data.positions.data() + 3 * i;
        s0 = s0 + a * p[0];
        s1 = s1 + a * p[1];
        s2 = s2 + a * p[2];
        W = W + a;
    }
    const int joints = int(data.jointBones.size());
    for (int n = 0; n < joints; ++n) {
        const double* q = data.jointPositions.data() + 3 * n;
        s0 = s0 + h * q[0];
        s1 = s1 + h * q[1];
        s2 = s2 + h * q[2];
        W = W + h;
    }
    Vector c = divideVector3(makeVector3(s0, s1, s2), W);
    points.resize(3 * listLength(data, numBones));
    double* out = points.data();
    for (int i = 0; i < data.count; ++i)
        for (int a = 0; a < 3; ++a)
            out[3 * i + a] = data.positions[3 * i + a] - c[a];
    for (int n = 0; n < joints; ++n)
        for (int a = 0; a < 3; ++a)
            out[3 * (data.count + n) + a] = data.jointPositions[3 * n + a] - c[a];
    return c;
}

// Weight w·r per vertex (weight sum w²) and h per joint target y = R_kf·q_jk + t_kf.
Vector targetPoints(const RiggingContext& context, const BoneData& data, int f, double h, std::vector<double>& points)
{
    points.resize(3 * listLength(data, context.numBones));
    double* out = points.data();
    const PointTable& residuals = context.residuals;
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, W = 0.0;
    for (int i = 0; i < data.count; ++i) {
        double w = data.weights[i];
        const double* r = residuals.point(f, data.vertices[i]);
        s0 = s0 + w * r[0];
        s1 = s1 + w * r[1];
        s2 = s2 + w * r[2];
        W = W + w * w;
    }
    const int joints = int(data.jointBones.size());
    for (int n = 0; n < joints; ++n) {
        const double* q = data.jointPositions.data() + 3 * n;
        Vector y = transformPoint(context.bones[data.jointBones[n]], f, makeVector3(q[0], q[1], q[2]));
        double* slot = out + 3 * (data.count + n);
        slot[0] = y[0];
        slot[1] = y[1];
        slot[2] = y[2];
        s0 = s0 + h * y[0];
        s1 = s1 + h * y[1];
        s2 = s2 + h * y[2];
        W = W + h;
    }
    Vector c = divideVector3(makeVector3(s0, s1, s2), W);
    for (int i = 0; i < data.count; ++i) {
        double w = data.weights[i];
        const double* r = residuals.point(f, data.vertices[i]);
        for (int a = 0; a < 3; ++a)
            out[3 * i + a] = r[a] - w * c[a];
    }
    for (int n = 0; n < joints; ++n)
        for (int a = 0; a < 3; ++a)
            out[3 * (data.count + n) + a] = out[3 * (data.count + n) + a] - c[a];
    return c;
}

// M[a][b] = Σ_i (w_i·s_i[a])·u_i[b] over the vertices, then Σ (h·s[a])·u[b]
// over the joints, each entry summed in list order from 0.0. Returns false
// when an entry is not finite.
bool crossCovariance(const BoneData& data, double h, const double* source, const double* target, Matrix& M)
{
    double m[9] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < data.count; ++i) {
        double w = data.weights[i];
        const double* s = source + 3 * i;
        const double* u = target + 3 * i;
        for (int a = 0; a < 3; ++a) {
            double ws = w * s[a];
            m[a * 3 + 0] = m[a * 3 + 0] + ws * u[0];
            m[a * 3 + 1] = m[a * 3 + 1] + ws * u[1];
            m[a * 3 + 2] = m[a * 3 + 2] + ws * u[2];
        }
    }
    for (std::size_t n = 0; n < data.jointBones.size(); ++n) {
        const double* s = source + 3 * (data.count + n);
        const double* u = target + 3 * (data.count + n);
        for (int a = 0; a < 3; ++a) {
            double hs = h * s[a];
            m[a * 3 + 0] = m[a * 3 + 0] + hs * u[0];
            m[a * 3 + 1] = m[a * 3 + 1] + hs * u[1];
            m[a * 3 + 2] = m[a * 3 + 2] + hs * u[2];
        }
    }
    bool finite = true;
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) {
            M[a][b] = m[a * 3 + b];
            finite = finite && std::isfinite(m[a * 3 + b]);
        }
    return finite;
}

void checkBone(const RiggingContext& context, int j)
{
    if (j < 0 || j >= context.numBones)
        throwSubscriptError();
}

} // namespace

void computeResiduals(RiggingContext& context)
{
    checkShapes(context);
    const int numFrames = context.numFrames, numVertices = context.numVertices, numBones = context.numBones;
    if (context.sequence.rows < numFrames || context.sequence.columns < numVertices)
        throwSubscriptError();
    resizePointTable(context.residuals, numFrames, numVertices);

    // The candidate pairs in one compact run (bone, weight), per vertex in
    // list order, with the rest positions: every frame reads them again, and
    // the dense weight rows would not stay in cache.
    std::vector<int> first(std::size_t(numVertices) + 1, 0);
    for (int v = 0; v < numVertices; ++v)
        first[v + 1] = first[v] + int(context.vertexBones[v].size());
    std::vector<int> pairBone(std::size_t(first[numVertices]));
    std::vector<double> pairWeight(pairBone.size());
    std::vector<double> rest(3 * std::size_t(numVertices));
    for (int v = 0; v < numVertices; ++v) {
        const Vector& p = context.restPose[v];
        const Vector& w = context.weights[v];
        rest[3 * v + 0] = p[0];
        rest[3 * v + 1] = p[1];
        rest[3 * v + 2] = p[2];
        int n = first[v];
        for (int k : context.vertexBones[v]) {
            if (k < 0 || k >= numBones)
                throwSubscriptError();
            pairBone[n] = k;
            pairWeight[n] = w[k];
            ++n;
        }
    }
    std::vector<double> flat;
    flattenBoneTransforms(context.bones, numFrames, flat);
    const std::size_t stride = context.bones.size() * 12;

    for (int f = 0; f < numFrames; ++f) {
        const double* frame = flat.data() + std::size_t(f) * stride;
        const double* x = context.sequence.point(f, 0);
        double* r = context.residuals.point(f, 0);
        for (int v = 0; v < numVertices; ++v) {
            const double* p = rest.data() + 3 * v;
            double s[3] = {0.0, 0.0, 0.0};
            for (int n = first[v]; n < first[v + 1]; ++n) {
                double q[3];
                transformFlat(frame + std::size_t(pairBone[n]) * 12, p, q);
                double w = pairWeight[n];
                s[0] = s[0] + w * q[0];
                s[1] = s[1] + w * q[1];
                s[2] = s[2] + w * q[2];
            }
            r[3 * v + 0] = x[3 * v + 0] - s[0];
            r[3 * v + 1] = x[3 * v + 1] - s[1];
            r[3 * v + 2] = x[3 * v + 2] - s[2];
        }
    }
}

void addBoneContribution(RiggingContext& context, int j, double sign)
{
    checkShapes(context);
    checkBone(context, j);
    checkResidualShape(context);
    BoneData data;
    gatherBone(context, j, data);
    for (int f = 0; f < context.numFrames; ++f) {
        double m[12];
        flattenFrame(context.bones[j], f, m);
        addFrameContribution(context.residuals, data, m, f, sign);
    }
}

Vector boneSourcePoints(const RiggingContext& context, int j, std::vector<double>& points, double jointWeight)
{
    checkShapes(context);
    checkBone(context, j);
    BoneData data;
    gatherBone(context, j, data);
    return sourcePoints(data, context.numBones, jointWeight, points);
}

Vector boneTargetPoints(const RiggingContext& context, int j, int f, std::vector<double>& points, double jointWeight)
{
    checkShapes(context);
    checkBone(context, j);
    checkResidualShape(context);
    if (f < 0 || f >= context.numFrames)
        throwSubscriptError();
    BoneData data;
    gatherBone(context, j, data);
    return targetPoints(context, data, f, jointWeight, points);
}

void updateBoneTransformations(RiggingContext& context, double lambda)
{
    computeResiduals(context);
    const int numFrames = context.numFrames, numBones = context.numBones;
    // Unused (and not finite) with a single bone: it has no joints.
    const double h = lambda * double(context.numVertices) / double(numBones - 1);

    // Every buffer at the largest size any bone needs.
    std::size_t mostVertices = 0;
    for (int j = 0; j < numBones; ++j)
        if (context.boneVertices[j].size() > mostVertices)
            mostVertices = context.boneVertices[j].size();
    BoneData data;
    data.weights.resize(mostVertices);
    data.positions.resize(3 * mostVertices);
    data.jointBones.reserve(std::size_t(numBones));
    data.jointPositions.resize(3 * std::size_t(numBones));
    std::size_t longest = std::size_t(numBones) + std::max(std::size_t(context.numVertices), mostVertices);
    std::vector<double> source, target;
    source.reserve(3 * longest);
    target.reserve(3 * longest);
    Matrix M = zeroMatrix3();

    for (int j = 0; j < numBones; ++j) {
        gatherBone(context, j, data);
        Vector cs = sourcePoints(data, numBones, h, source);
        // Nothing to fit against (weight sum 0): the bone keeps its track and
        // its share of the residuals stays as it is.
        if (!isFinite3(cs))
            continue;
        // Frames are independent: each one takes bone j's old share out of
        // its residuals, fits, and puts the new share back, while the rows are
        // still in cache.
        Bone& bone = context.bones[j];
        for (int f = 0; f < numFrames; ++f) {
            double m[12];
            flattenFrame(bone, f, m);
            addFrameContribution(context.residuals, data, m, f, 1.0);
            Vector ct = targetPoints(context, data, f, h, target);
            // A centroid or covariance that is not finite, or a covariance the
            // SVD refuses, leaves this frame's R and t as they were.
            if (isFinite3(ct) && crossCovariance(data, h, source.data(), target.data(), M))
                rotationFromCovariance(M, cs, ct, bone.rotations.at(f), bone.translations.at(f));
            flattenFrame(bone, f, m);
            addFrameContribution(context.residuals, data, m, f, -1.0);
        }
    }
}
