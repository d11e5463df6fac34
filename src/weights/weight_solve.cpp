#include <cmath>

#include "linalg/least_squares.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"

namespace {

// Work buffers of one solveWeights call, sized once.
struct SolveWork {
    std::vector<double> flat;   // bone transformations, [frame][bone][12]
    std::vector<double> moved;  // the rest point under each candidate, [candidate][3]
    std::vector<double> gram;   // n x n
    std::vector<double> rhs;    // n
    std::vector<double> target; // s·g[b_i], the right-hand side of the smoothness rows
    Matrix H;
    Vector f;
    Vector start;
    Vector prior;
};

// Normal equations of the vertex's system: fit rows 3f..3f+2 holding the rest
// point moved by each candidate (right-hand side x_fv), then one smoothness row
// per candidate with s on the diagonal (right-hand side s·g[b_i]). A is never
// formed; each entry of AᵀA and Aᵀy is summed over the rows in row order from
// 0.0, exactly as gramMatrix and multiplyTransposedVector would on the full A.
void buildNormalEquations(const RiggingContext& context, int v, const std::vector<int>& list, double s,
                          SolveWork& work)
{
    const int numFrames = context.numFrames;
    const int n = int(list.size());
    const std::size_t stride = context.bones.size();
    const Vector& rest = context.restPose[v];
    const double p[3] = {rest[0], rest[1], rest[2]};
    double* gram = work.gram.data();
    double* rhs = work.rhs.data();
    double* moved = work.moved.data();
    for (int i = 0; i < n * n; ++i)
        gram[i] = 0.0;
    for (int i = 0; i < n; ++i)
        rhs[i] = 0.0;

    for (int fr = 0; fr < numFrames; ++fr) {
        const double* frameBones = work.flat.data() + std::size_t(fr) * stride * 12;
        for (int i = 0; i < n; ++i)
            transformFlat(frameBones + std::size_t(list[i]) * 12, p, moved + 3 * i);
        const double* x = context.sequence.point(fr, v);
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < n; ++i) {
                double ai = moved[3 * i + c];
                for (int j = 0; j <= i; ++j)
                    gram[i * n + j] += ai * moved[3 * j + c];
                rhs[i] += ai * x[c];
            }
    }

    // Smoothness rows. Their zero entries are added too: 0·s is +0.0, which
    // leaves a sum from 0.0 unchanged unless s or the targets are not finite.
    for (int m = 0; m < n; ++m)
        work.target[m] = s * work.prior[list[m]];
    for (int m = 0; m < n; ++m)
        for (int i = 0; i < n; ++i) {
            double ai = i == m ? s : 0.0;
            for (int j = 0; j <= i; ++j)
                gram[i * n + j] += ai * (j == m ? s : 0.0);
            rhs[i] += ai * work.target[m];
        }

    resizeMatrix(work.H, n, n);
    work.f.resize(n);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j <= i; ++j) {
            work.H[i][j] = gram[i * n + j];
            work.H[j][i] = gram[i * n + j];
        }
        work.f[i] = rhs[i];
    }
}

} // namespace

void solveStartPoint(const Vector& weightRow, const std::vector<int>& list, Vector& start)
{
    const int n = int(list.size());
    start.resize(n);
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        start[i] = weightRow[list[i]];
        sum += start[i];
    }
    if (sum > 0.001) {
        for (int i = 0; i < n; ++i)
            start[i] = start[i] / sum;
    } else {
        for (int i = 0; i < n; ++i)
            start[i] = 1.0 / n;
    }
}

void solveWeights(RiggingContext& context, int k)
{
    const int numVertices = context.numVertices, numFrames = context.numFrames, numBones = context.numBones;
    const double s = std::sqrt(numFrames * context.omega);
    if (context.vertexBones.size() < std::size_t(numVertices) || rowCount(context.restPose) < std::size_t(numVertices) ||
        context.sequence.rows < numFrames || context.sequence.columns < numVertices)
        throwSubscriptError();
    // The bases cover the longest list even if a caller passes a smaller k.
    int longest = k > 1 ? k : 1;
    for (int v = 0; v < numVertices; ++v)
        if (int(context.vertexBones[v].size()) > longest)
            longest = int(context.vertexBones[v].size());
    buildZeroSumBases(longest);
    resizeMatrix(context.weights, numVertices, numBones);

    SolveWork work;
    flattenBoneTransforms(context.bones, numFrames, work.flat);
    const std::size_t available = context.bones.size() < std::size_t(numBones) ? context.bones.size() : numBones;
    work.moved.resize(std::size_t(longest) * 3);
    work.gram.resize(std::size_t(longest) * longest);
    work.rhs.resize(longest);
    work.target.resize(longest);

    for (int v = 0; v < numVertices; ++v) {
        const std::vector<int>& list = context.vertexBones[v];
        for (int b : list)
            if (b < 0 || std::size_t(b) >= available)
                throwSubscriptError();
        Vector& row = context.weights[v];
        if (list.empty()) {
            // No candidate to hold the weight: the row stays all zeros.
            for (int j = 0; j < numBones; ++j)
                row[j] = 0.0;
            continue;
        }
        smoothedWeightVector(context, v, work.prior, true);
        buildNormalEquations(context, v, list, s, work);
        solveStartPoint(row, list, work.start);
        solveSimplexNormal(work.H, work.f, work.start);
        for (int j = 0; j < numBones; ++j)
            row[j] = 0.0;
        for (std::size_t i = 0; i < list.size(); ++i)
            row[list[i]] = work.start[i];
    }
}
