#include "skeleton/bone_frame_fit.h"

#include <cmath>

#include "linalg/point_lanes.h"
#include "linalg/svd3.h"

void gatherRuns(const RiggingContext& context, double h, BoneRuns& runs)
{
    const int numBones = context.numBones, numVertices = context.numVertices;
    runs.rest.resize(3 * std::size_t(numVertices));
    for (int v = 0; v < numVertices; ++v) {
        const Vector& p = context.restPose[v];
        for (int a = 0; a < 3; ++a)
            runs.rest[3 * std::size_t(v) + a] = p[a];
    }
    runs.first.assign(std::size_t(numBones) + 1, 0);
    runs.jointFirst.assign(std::size_t(numBones) + 1, 0);
    for (int j = 0; j < numBones; ++j) {
        runs.first[j + 1] = runs.first[j] + context.boneVertices[j].size();
        std::size_t joints = 0;
        for (int k = 0; k < numBones; ++k)
            joints += isLinked(context.skeleton, j, k) ? 1 : 0;
        runs.jointFirst[j + 1] = runs.jointFirst[j] + joints;
    }
    runs.vertex.resize(runs.first[numBones]);
    runs.weight.resize(runs.first[numBones]);
    runs.jointBone.resize(runs.jointFirst[numBones]);
    runs.jointPoint.resize(3 * runs.jointFirst[numBones]);
    runs.centroid.resize(3 * std::size_t(numBones));
    runs.distinct.assign(std::size_t(numBones), 1);
    for (int j = 0; j < numBones; ++j) {
        // Source centroid: weight w² per vertex, then h per joint, in list order.
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, W = 0.0;
        std::size_t n = runs.first[j];
        for (int v : context.boneVertices[j]) {
            if (v < 0 || v >= numVertices)
                throwSubscriptError();
            const double w = context.weights[v][j];
            if (n > runs.first[j] && v <= runs.vertex[n - 1])
                runs.distinct[j] = 0; // not ascending: a vertex may repeat
            runs.vertex[n] = v;
            runs.weight[n] = w;
            ++n;
            const double a = w * w;
            const double* p = runs.rest.data() + 3 * std::size_t(v);
            s0 = s0 + a * p[0];
            s1 = s1 + a * p[1];
            s2 = s2 + a * p[2];
            W = W + a;
        }
        std::size_t m = runs.jointFirst[j];
        for (int k = 0; k < numBones; ++k) {
            if (!isLinked(context.skeleton, j, k))
                continue;
            const double* q = context.jointTable.at(j, k);
            runs.jointBone[m] = k;
            for (int a = 0; a < 3; ++a)
                runs.jointPoint[3 * m + a] = q[a];
            ++m;
            s0 = s0 + h * q[0];
            s1 = s1 + h * q[1];
            s2 = s2 + h * q[2];
            W = W + h;
        }
        runs.centroid[3 * j + 0] = s0 / W;
        runs.centroid[3 * j + 1] = s1 / W;
        runs.centroid[3 * j + 2] = s2 / W;
    }
}

namespace {

// r_fv += (w_vj·sign)·(R·p_v + t) over bone j's vertices, in one residual row.
template <class L>
POINT_INLINE void addShare(double* row, const BoneRuns& runs, int j, const double* m, double sign)
{
    const typename L::Columns T = L::columns(m);
    const double* rest = runs.rest.data();
    for (std::size_t i = runs.first[j]; i < runs.first[j + 1]; ++i) {
        const int v = runs.vertex[i];
        const double c = runs.weight[i] * sign;
        double* r = row + 3 * std::size_t(v);
        L::store(r, L::load(r) + c * L::move(T, rest + 3 * std::size_t(v)));
    }
}

// Target centroid c_t of bone j in frame f: weight w·r per vertex (weight sum
// w²), then h per joint target y = R_kf·q_jk + t_kf, kept in jointTarget.
// With share, bone j's old share (m) is first added to each vertex's residual,
// in the same pass: the list holds every vertex once, so each sum reads the
// residual exactly as it would after a separate pass. The sums (s0, s1, s2)
// ride in the lanes of one point, each lane its own sum in list order.
template <class L>
POINT_INLINE void targetCentroid(const RiggingContext& context, double* row, const BoneRuns& runs, double* jointTarget,
                                 int j, int f, double h, const double* share, double* ct)
{
    const std::size_t firstJoint = runs.jointFirst[j], joints = runs.jointFirst[j + 1] - firstJoint;
    for (std::size_t n = 0; n < joints; ++n) {
        const double* q = runs.jointPoint.data() + 3 * (firstJoint + n);
        Vector y = transformPoint(context.bones[runs.jointBone[firstJoint + n]], f, makeVector3(q[0], q[1], q[2]));
        for (int a = 0; a < 3; ++a)
            jointTarget[3 * n + a] = y[a];
    }
    const double* rest = runs.rest.data();
    typename L::Point sums = L::zero();
    double W = 0.0;
    if (share) {
        const typename L::Columns T = L::columns(share);
        for (std::size_t i = runs.first[j]; i < runs.first[j + 1]; ++i) {
            const double w = runs.weight[i];
            const int v = runs.vertex[i];
            double* r = row + 3 * std::size_t(v);
            const double c = w * 1.0;
            const typename L::Point updated = L::load(r) + c * L::move(T, rest + 3 * std::size_t(v));
            L::store(r, updated);
            sums = sums + w * updated;
            W = W + w * w;
        }
    } else {
        for (std::size_t i = runs.first[j]; i < runs.first[j + 1]; ++i) {
            const double w = runs.weight[i];
            sums = sums + w * L::load(row + 3 * std::size_t(runs.vertex[i]));
            W = W + w * w;
        }
    }
    double s0 = L::x(sums), s1 = L::y(sums), s2 = L::z(sums);
    for (std::size_t n = 0; n < joints; ++n) {
        const double* y = jointTarget + 3 * n;
        s0 = s0 + h * y[0];
        s1 = s1 + h * y[1];
        s2 = s2 + h * y[2];
        W = W + h;
    }
    ct[0] = s0 / W;
    ct[1] = s1 / W;
    ct[2] = s2 / W;
}

// M[a][b] = Σ_i (w_i·s_i[a])·u_i[b] over the vertices, then Σ (h·s[a])·u[b]
// over the joints, each entry summed in list order from 0.0. The source
// points p_v − c_s and target points r_fv − w·c_t (q − c_s and y − c_t per
// joint) are formed on the way; row a of M is one point in lanes.
// False when an entry is not finite.
template <class L>
POINT_INLINE bool frameCovariance(const double* row, const BoneRuns& runs, const double* jointTarget, int j, double h,
                                  const double* ct,
                                  double M[3][3])
{
    using Point = typename L::Point;
    const Point cs = L::load(runs.centroid.data() + 3 * std::size_t(j));
    const Point t = L::load(ct);
    Point m0 = L::zero(), m1 = m0, m2 = m0;
    // One source point a (weighted, centred) and its target point u.
    auto add = [&](const Point& a, const Point& u) {
        m0 = m0 + L::x(a) * u;
        m1 = m1 + L::y(a) * u;
        m2 = m2 + L::z(a) * u;
    };
    for (std::size_t i = runs.first[j]; i < runs.first[j + 1]; ++i) {
        const int v = runs.vertex[i];
        const double w = runs.weight[i];
        add(w * (L::load(runs.rest.data() + 3 * std::size_t(v)) - cs), L::load(row + 3 * std::size_t(v)) - w * t);
    }
    const std::size_t firstJoint = runs.jointFirst[j];
    for (std::size_t n = firstJoint; n < runs.jointFirst[j + 1]; ++n)
        add(h * (L::load(runs.jointPoint.data() + 3 * n) - cs), L::load(jointTarget + 3 * (n - firstJoint)) - t);
    const Point rows[3] = {m0, m1, m2};
    bool finite = true;
    for (int a = 0; a < 3; ++a) {
        M[a][0] = L::x(rows[a]);
        M[a][1] = L::y(rows[a]);
        M[a][2] = L::z(rows[a]);
        for (int b = 0; b < 3; ++b)
            finite = finite && std::isfinite(M[a][b]);
    }
    return finite;
}

bool isFinitePoint(const double* p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

// R_f and t_f of the bone become R and t (a 3 x 3 matrix and a 3-vector).
void storeTransform(Bone& bone, int f, const double R[3][3], const double t[3])
{
    Matrix& rotation = bone.rotations.at(f);
    Vector& translation = bone.translations.at(f);
    resizeMatrix(rotation, 3, 3);
    translation.resize(3);
    for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 3; ++b)
            rotation[a][b] = R[a][b];
        translation[a] = t[a];
    }
}

// Frame f of the B step: the residual row of the whole blend, then every bone
// in order: its old share out, the fit, its new share back; points in lanes L.
template <class L>
POINT_INLINE void fitFrameIn(RiggingContext& context, const ResidualBlend& blend, const BoneRuns& runs,
                             double* jointTarget, int f, double h, double* row)
{
    residualRow(context, blend, f, row);
    double M[3][3], ct[3], R[3][3], t[3];
    for (int j = 0; j < context.numBones; ++j) {
        const double* sourceCentroid = runs.centroid.data() + 3 * std::size_t(j);
        // Nothing to fit against (weight sum 0): the bone keeps its track
        // and its share of the residuals stays as it is.
        if (!isFinitePoint(sourceCentroid))
            continue;
        Bone& bone = context.bones[j];
        double m[12];
        flattenBoneFrame(bone, f, m);
        if (!runs.distinct[j])
            addShare<L>(row, runs, j, m, 1.0);
        targetCentroid<L>(context, row, runs, jointTarget, j, f, h, runs.distinct[j] ? m : nullptr, ct);
        // A centroid or covariance that is not finite, or a covariance the
        // SVD refuses, leaves this frame's R and t as they were.
        if (isFinitePoint(ct) && frameCovariance<L>(row, runs, jointTarget, j, h, ct, M) &&
            rotationFromCovariance3(M, sourceCentroid, ct, R, t))
            storeTransform(bone, f, R, t);
        flattenBoneFrame(bone, f, m);
        addShare<L>(row, runs, j, m, -1.0);
    }
}

struct FitFrameKernel {
    template <bool Wide>
    static WIDE_INLINE void run(RiggingContext& context, const ResidualBlend& blend, const BoneRuns& runs,
                                double* jointTarget, int f, double h, double* row)
    {
        fitFrameIn<typename PointLanesFor<Wide>::Type>(context, blend, runs, jointTarget, f, h, row);
    }
};

} // namespace

void fitFrame(RiggingContext& context, const ResidualBlend& blend, const BoneRuns& runs, double* jointTarget, int f, double h,
              double* row)
{
    runWidest<FitFrameKernel>(context, blend, runs, jointTarget, f, h, row);
}
