#include <algorithm>
#include <cmath>
#include <cstring>

#include "linalg/least_squares.h"
#include "parallel/parallel_for.h"
#include "weights/fit_sums.h"
#include "weights/smooth_weights.h"
#include "weights/weight_update.h"

namespace {

// Work buffers of one thread of a solveWeights call, sized once.
struct SolveWork {
    FitSumsWork fit;            // the fit rows' sums
    std::vector<double> target; // s·g[b_i], the right-hand side of the smoothness rows
    Matrix H;
    Vector f;
    Vector start;
    Vector prior;
    std::vector<int> list; // the vertex's candidates
};

// What every vertex's solve reads, the same for all of them.
struct SolveInputs {
    FitSumsInputs fit;
    FitCache* cache = nullptr;
    PriorTables* tables = nullptr;
    double s = 0.0;            // sqrt(numFrames·omega)
    std::size_t available = 0; // bones that a list may name
};

// Normal equations of the vertex's system: fit rows 3f..3f+2 holding the rest
// point moved by each candidate (right-hand side x_fv), then one smoothness row
// per candidate with s on the diagonal (right-hand side s·g[b_i]). A is never
// formed; each entry of AᵀA and Aᵀy is summed over the rows in row order from
// 0.0, exactly as gramMatrix and multiplyTransposedVector would on the full A.
// work.gram and work.rhs hold the fit rows' sums on entry.
void addSmoothnessRows(const std::vector<int>& list, double s, SolveWork& work)
{
    const int n = int(list.size());
    double* gram = work.fit.gram.data();
    double* rhs = work.fit.rhs.data();
    for (int m = 0; m < n; ++m)
        work.target[m] = s * work.prior[list[m]];
    bool finite = std::isfinite(s);
    for (int m = 0; m < n; ++m)
        finite = finite && std::isfinite(work.target[m]);
    if (finite) {
        // Row m adds s·s to entry (m, m) and s·target[m] to rhs[m]; its other
        // products are zeros, and adding a zero to a sum that started from
        // +0.0 leaves it as it is.
        for (int m = 0; m < n; ++m) {
            gram[m * n + m] += s * s;
            rhs[m] += s * work.target[m];
        }
    } else {
        // With s or a target not finite, 0·s or 0·target is NaN: every
        // product is added as the full rows would add it.
        for (int m = 0; m < n; ++m)
            for (int i = 0; i < n; ++i) {
                double ai = i == m ? s : 0.0;
                for (int j = 0; j <= i; ++j)
                    gram[i * n + j] += ai * (j == m ? s : 0.0);
                rhs[i] += ai * work.target[m];
            }
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

namespace {

// start[0 .. n) holds the current weights: scaled to sum to one, or 1/n each.
void scaleStartPoint(Vector& start, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += start[i];
    if (sum > 0.001) {
        for (int i = 0; i < n; ++i)
            start[i] = start[i] / sum;
    } else {
        for (int i = 0; i < n; ++i)
            start[i] = 1.0 / n;
    }
}

} // namespace

void solveStartPoint(const Vector& weightRow, const std::vector<int>& list, Vector& start)
{
    const int n = int(list.size());
    start.resize(n);
    for (int i = 0; i < n; ++i)
        start[i] = weightRow[list[i]];
    scaleStartPoint(start, n);
}

namespace {

bool listInRange(const std::vector<int>& list, std::size_t available)
{
    for (int b : list)
        if (b < 0 || std::size_t(b) >= available)
            return false;
    return true;
}

// Vertex v's weights over its candidates into its prior entry alone; its
// weight row is written afterwards from the entry (writeRowFromEntry). The
// entry holds the row's values on the list, so the start point is taken from
// it. Reads the neighbours' entries: the lower-numbered ones as their own
// solve left them, the higher-numbered ones as before theirs.
void solveVertexEntry(RiggingContext& context, const SolveInputs& in, int v, SolveWork& work)
{
    PriorTables& tables = *in.tables;
    const std::size_t at = std::size_t(v) * tables.width;
    const int n = tables.count[v];
    std::vector<int>& list = work.list;
    list.assign(tables.bone.data() + at, tables.bone.data() + at + n);
    if (!listInRange(list, in.available))
        throwSubscriptError();
    tables.exact[v] = 1;
    if (n == 0)
        return;
    smoothedPrior(context, tables, v, work.prior);
    fitSums(context, in.fit, in.cache, v, list, work.fit);
    addSmoothnessRows(list, in.s, work);
    work.start.resize(n);
    std::copy(tables.weight.data() + at, tables.weight.data() + at + n, work.start.data());
    scaleStartPoint(work.start, n);
    solveSimplexNormal(work.H, work.f, work.start);
    // A bone named twice holds, in the row, the value of its last place.
    double* weight = tables.weight.data() + at;
    for (int i = 0; i < n; ++i) {
        weight[i] = work.start[i];
        for (int later = i + 1; later < n; ++later)
            if (list[later] == list[i])
                weight[i] = work.start[later];
    }
}

// Vertex v's weight row from its entry: zero outside its list.
void writeRowFromEntry(RiggingContext& context, const PriorTables& tables, int v)
{
    const std::size_t at = std::size_t(v) * tables.width;
    double* row = context.weights[v].data();
    std::fill(row, row + context.numBones, 0.0);
    for (int i = 0; i < tables.count[v]; ++i)
        row[tables.bone[at + i]] = tables.weight[at + i];
}

} // namespace

void solveWeights(RiggingContext& context, int k, FitCache* cache)
{
    const int numVertices = context.numVertices, numFrames = context.numFrames, numBones = context.numBones;
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

    SolveInputs in;
    in.s = std::sqrt(numFrames * context.omega);
    in.cache = cache;
    prepareFitSums(context, in.fit);
    in.available = context.bones.size() < std::size_t(numBones) ? context.bones.size() : numBones;
    // The fit rows depend on nothing that a weight pass changes: with kept
    // work, a vertex whose list is the same as in the last call with these
    // bones reuses their sums.
    if (cache) {
        syncFitCache(*cache, context, in.fit.flat);
        widenFitSums(*cache, context, longest);
    }

    // The prior's tables as the candidate choice left them, or fresh ones.
    PriorTables ownTables;
    in.tables = cache ? &cache->prior : &ownTables;
    if (!(cache && priorTablesCurrent(context, longest, *in.tables)))
        buildPriorTables(context, longest, *in.tables);
    in.tables->kept = false;

    std::vector<SolveWork> work(std::size_t(context.pool ? context.pool->size() : 1));
    for (SolveWork& w : work) {
        sizeFitSums(context, longest, w.fit);
        w.target.resize(longest);
        w.list.reserve(std::size_t(longest));
    }
    // The fit rows' sums depend on the vertex's list alone: with kept work
    // the threads form the missing ones first, each vertex's in its own entry.
    if (cache && in.tables->usable)
        parallelChunks(context.pool, numVertices, 64, [&](int first, int last, int t) {
            SolveWork& own = work[std::size_t(t)];
            for (int v = first; v < last; ++v) {
                const int* bones = in.tables->bone.data() + std::size_t(v) * in.tables->width;
                own.list.assign(bones, bones + in.tables->count[v]);
                if (!own.list.empty() && listInRange(own.list, in.available) && !fitSumsKept(*cache, v, own.list))
                    fitSums(context, in.fit, cache, v, own.list, own.fit);
            }
        });
    // Each vertex reads the new weights of its lower-numbered neighbours and
    // the old ones of the others: one thread, in vertex order. That loop reads
    // and writes only the tables, which fit the weights resized above (they
    // are unusable only without vertices); the rows are written afterwards,
    // side by side (also those done when a vertex fails).
    if (in.tables->usable) {
        int done = 0;
        try {
            for (; done < numVertices; ++done)
                solveVertexEntry(context, in, done, work[0]);
        } catch (...) {
            parallelFor(context.pool, done, [&](int v, int) { writeRowFromEntry(context, *in.tables, v); });
            throw;
        }
        parallelFor(context.pool, numVertices, [&](int v, int) { writeRowFromEntry(context, *in.tables, v); });
    }
    in.tables->kept = cache != nullptr;
}
