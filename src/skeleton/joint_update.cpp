#include "skeleton/joint_update.h"

#include <cmath>

#include "linalg/least_squares.h"

namespace {

bool isFinite3(const Vector& v) { return v.size() >= 3 && std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// Rows 3f .. 3f + 2 of A and b: (R_jf − R_if)·x = t_if − t_jf.
void fillFrameRows(const Bone& bi, const Bone& bj, int numFrames, Matrix& A, Vector& b)
{
    for (int f = 0; f < numFrames; ++f) {
        Matrix d = subtractMatrix(bj.rotations.at(f), bi.rotations.at(f));
        Vector e = subtractVector3(bi.translations.at(f), bj.translations.at(f));
        for (int k = 0; k < 3; ++k) {
            Vector& row = A[3 * f + k];
            row[0] = d[k][0];
            row[1] = d[k][1];
            row[2] = d[k][2];
            b[3 * f + k] = e[k];
        }
    }
}

// The prior of one pair from its sums (jointPrior's last step).
Vector priorFromSums(const double* sums)
{
    Vector S = makeVector3(sums[0], sums[1], sums[2]);
    if (sums[3] >= 0.1)
        return divideVector3(S, sums[3]);
    return divideVector3(S, 0.1);
}

// jointPrior's sums (s0, s1, s2, W) of every pair in one walk over the
// vertices: each pair's sums run in vertex order as they would alone, but
// every weight row is read once instead of once per pair.
void jointPriorSums(const RiggingContext& context, const std::vector<int>& pairs, std::vector<double>& sums)
{
    if (rowCount(context.weights) < std::size_t(context.numVertices) ||
        rowCount(context.restPose) < std::size_t(context.numVertices))
        throwSubscriptError();
    const std::size_t count = pairs.size() / 2;
    sums.assign(4 * count, 0.0);
    for (int v = 0; v < context.numVertices; ++v) {
        const Vector& w = context.weights[v];
        const Vector& p = context.restPose[v];
        const double p0 = p[0], p1 = p[1], p2 = p[2];
        for (std::size_t n = 0; n < count; ++n) {
            const double a = w[pairs[2 * n]] * w[pairs[2 * n + 1]];
            double* s = sums.data() + 4 * n;
            s[0] = s[0] + a * p0;
            s[1] = s[1] + a * p1;
            s[2] = s[2] + a * p2;
            s[3] = s[3] + a;
        }
    }
}

} // namespace

Vector jointPrior(const RiggingContext& context, int i, int j)
{
    if (rowCount(context.weights) < std::size_t(context.numVertices) ||
        rowCount(context.restPose) < std::size_t(context.numVertices))
        throwSubscriptError();
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, W = 0.0;
    for (int v = 0; v < context.numVertices; ++v) {
        const Vector& w = context.weights[v];
        double a = w[i] * w[j];
        const Vector& p = context.restPose[v];
        s0 = s0 + a * p[0];
        s1 = s1 + a * p[1];
        s2 = s2 + a * p[2];
        W = W + a;
    }
    Vector S = makeVector3(s0, s1, s2);
    if (W >= 0.1)
        return divideVector3(S, W);
    return divideVector3(S, 0.1);
}

double jointDisagreement(const RiggingContext& context, int i, int j, const Vector& q)
{
    double e = 0.0;
    for (int f = 0; f < context.numFrames; ++f) {
        Vector d = subtractVector3(transformPoint(context.bones[j], f, q), transformPoint(context.bones[i], f, q));
        e = e + (d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    }
    return e;
}

void updateJoints(RiggingContext& context, bool allPairs)
{
    const int numFrames = context.numFrames, numBones = context.numBones;
    if (numFrames < 0 || numBones < 0 || context.bones.size() < std::size_t(numBones))
        throwSubscriptError();
    const double r = std::sqrt(context.jointsReg * context.jointsReg * double(numFrames));

    // One system for every pair; the last three rows hold the pull towards the prior.
    const std::size_t rows = 3 * std::size_t(numFrames) + 3;
    Matrix A;
    resizeMatrix(A, rows, 3);
    Vector b(rows, 0.0);
    resizePointTable(context.jointTable, numBones, numBones);

    std::vector<int> pairs;
    for (int i = 0; i < numBones; ++i)
        for (int j = 0; j < i; ++j)
            if (allPairs || isLinked(context.skeleton, i, j)) {
                pairs.push_back(i);
                pairs.push_back(j);
            }
    std::vector<double> priorSums;
    jointPriorSums(context, pairs, priorSums);

    for (std::size_t n = 0; n < pairs.size() / 2; ++n) {
        const int i = pairs[2 * n], j = pairs[2 * n + 1];
        fillFrameRows(context.bones[i], context.bones[j], numFrames, A, b);
        Vector c = priorFromSums(priorSums.data() + 4 * n);
        for (int k = 0; k < 3; ++k) {
            A[3 * std::size_t(numFrames) + k][k] = r;
            b[3 * std::size_t(numFrames) + k] = r * c[k];
        }
        Vector x = context.jointTable.get(i, j);
        solveLeastSquares(A, b, x);
        // A singular pair (possible without regularisation) keeps its
        // previous joint rather than taking an infinite or NaN one.
        if (isFinite3(x))
            context.jointTable.set(i, j, x);
        context.jointTable.set(j, i, context.jointTable.get(i, j));
    }
}
