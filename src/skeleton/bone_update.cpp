#include "skeleton/bone_update.h"

#include "parallel/parallel_for.h"

#include "skeleton/bone_frame_fit.h"
#include "skeleton/residual_blend.h"

// The plain steps of the B step, one bone and one frame at a time; the B step
// itself runs them fused, frame by frame, in bone_frame_fit.

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

void checkBone(const RiggingContext& context, int j)
{
    if (j < 0 || j >= context.numBones)
        throwSubscriptError();
}

} // namespace

void computeResiduals(RiggingContext& context)
{
    checkShapes(context);
    ResidualBlend blend;
    prepareBlend(context, blend);
    for (int f = 0; f < context.numFrames; ++f)
        residualRow(context, blend, f);
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
        flattenBoneFrame(context.bones[j], f, m);
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
    checkShapes(context);
    // The residuals of the whole blend, a row at a time right before the
    // frame's fits (the values computeResiduals gives).
    ResidualBlend blend;
    prepareBlend(context, blend);
    const int numFrames = context.numFrames, numBones = context.numBones;
    // Unused (and not finite) with a single bone: it has no joints.
    const double h = lambda * double(context.numVertices) / double(numBones - 1);
    BoneRuns runs;
    gatherRuns(context, h, runs);

    // A frame's fits read and write nothing of the other frames: the residual
    // row, the transformations and the joint targets of frame f. So the frames
    // are taken one at a time with every bone in order inside, which keeps the
    // row in cache and gives each bone exactly what it sees bone by bone; and
    // the threads share the frames out.
    std::vector<std::vector<double>> jointTargets(std::size_t(loopThreads(context.pool, numFrames)),
                                                  std::vector<double>(3 * std::size_t(numBones > 0 ? numBones : 0)));
    parallelFor(context.pool, numFrames,
                [&](int f, int t) { fitFrame(context, blend, runs, jointTargets[std::size_t(t)].data(), f, h); });
}
