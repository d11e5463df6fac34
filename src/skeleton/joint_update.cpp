#include "skeleton/joint_update.h"

#include <cmath>

#include "linalg/least_squares.h"

namespace {

bool isLinked(const SkeletonGraph& skeleton, int a, int b)
{
    if (std::size_t(a) >= skeleton.adjacency.size())
        return false;
    const std::vector<bool>& row = skeleton.adjacency[a];
    return std::size_t(b) < row.size() && row[b];
}

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

    for (int i = 0; i < numBones; ++i)
        for (int j = 0; j < i; ++j) {
            if (!allPairs && !isLinked(context.skeleton, i, j))
                continue;
            fillFrameRows(context.bones[i], context.bones[j], numFrames, A, b);
            Vector c = jointPrior(context, i, j);
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
