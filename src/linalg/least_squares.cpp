#include "linalg/least_squares.h"

#include <cmath>
#include <cstddef>

std::vector<Matrix> zeroSumBases;
std::vector<Matrix> zeroSumBasesTransposed;

namespace {

// A variable at or above this value is free to move; below it, it is fixed at 0.
constexpr double freeTolerance = 1e-14;
// A blocked step shorter than this ends the active-set iteration.
constexpr double minStepLength = 1e-28;
// Bound on the active-set iterations; finite problems end long before it.
constexpr int maxActiveSetIterations = 1000;

// Elimination with partial pivoting on n rows reached through rowOf(i) (a
// pointer to row i's n entries) and the right-hand side b. Shared by the
// Matrix interface and the flat work storage of the constrained solver, so
// both produce the same bits.
template <typename RowOf>
bool eliminateRows(RowOf rowOf, double* b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        // The first of equal maxima wins.
        std::size_t p = i;
        double largest = std::fabs(rowOf(i)[i]);
        for (std::size_t r = i + 1; r < n; ++r) {
            double v = std::fabs(rowOf(r)[i]);
            if (v > largest) {
                largest = v;
                p = r;
            }
        }
        // Entries left of column i stay where they are.
        double* rowI = rowOf(i);
        double* rowP = rowOf(p);
        for (std::size_t j = i; j < n; ++j) {
            double t = rowI[j];
            rowI[j] = rowP[j];
            rowP[j] = t;
        }
        double tb = b[i];
        b[i] = b[p];
        b[p] = tb;

        for (std::size_t r = i + 1; r < n; ++r) {
            double* rowR = rowOf(r);
            double d = rowR[i] / rowI[i];
            if (std::isnan(d))
                return false; // zero or non-finite pivot column
            for (std::size_t j = n; j-- > i;)
                rowR[j] = rowR[j] - d * rowI[j];
            b[r] = b[r] - b[i] * d;
        }
    }
    return true;
}

template <typename RowOf>
void substituteRows(RowOf rowOf, const double* b, double* x, std::size_t n)
{
    for (std::size_t r = n; r-- > 0;) {
        const double* row = rowOf(r);
        double sum = 0.0;
        for (std::size_t j = r + 1; j < n; ++j)
            sum = sum + row[j] * x[j];
        x[r] = (b[r] - sum) / row[r];
    }
}

// An n x n system held as Matrix rows; raises the subscript error when the
// rows or the right-hand side are shorter than n.
void checkSquareSystem(const Matrix& M, std::size_t bSize, std::size_t n)
{
    if (rowCount(M) < n || bSize < n)
        throwSubscriptError();
    for (std::size_t r = 0; r < n; ++r)
        if (M[r].size() < n)
            throwSubscriptError();
}

// Work storage of one constrained solve, sized once per call; with up to
// eight variables it lives entirely on the stack.
struct SimplexWork {
    SmallVec<double, 8> step;            // s, n entries
    SmallVec<double, 8> gradient;        // g, n entries
    SmallVec<unsigned char, 8> isFree;   // one flag per variable
    SmallVec<int, 8> freeIndex;          // idx_0 .. idx_(k-1)
    SmallVec<double, 8> reducedGradient; // r, k entries
    SmallVec<double, 8> reducedRhs;      // u, k-1 entries
    SmallVec<double, 8> reducedSolution; // z, k-1 entries
    SmallVec<double, 64> projected;      // N_kᵀ·H_FF, (k-1) x k row-major
    SmallVec<double, 64> reducedHessian; // Q, (k-1) x (k-1) row-major
};

void sizeSimplexWork(SimplexWork& w, std::size_t n)
{
    w.step.resize(n, 0.0);
    w.gradient.resize(n, 0.0);
    w.isFree.resize(n, 0);
    w.freeIndex.resize(n, 0);
    w.reducedGradient.resize(n, 0.0);
    w.reducedRhs.resize(n, 0.0);
    w.reducedSolution.resize(n, 0.0);
    std::size_t square = n * n;
    w.projected.resize(square, 0.0);
    w.reducedHessian.resize(square, 0.0);
}

bool allFinite(const double* v, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isfinite(v[i]))
            return false;
    return true;
}

// Newton step on the free variables that keeps Σx, written to w.step (zeros
// outside the free set). The step is zero when the reduced system cannot be
// eliminated or its solution is not finite (free columns that coincide).
void freeSetStep(const Matrix& H, const double* f, const double* x, SimplexWork& w, std::size_t n)
{
    double* s = w.step.data();
    for (std::size_t i = 0; i < n; ++i)
        s[i] = 0.0;

    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (w.isFree[i])
            w.freeIndex[k++] = int(i);
    if (k <= 1)
        return; // the only free variable cannot move without changing the sum
    const int* idx = w.freeIndex.data();
    const Matrix& N = zeroSumBases[k];
    const Matrix& NT = zeroSumBasesTransposed[k];
    const std::size_t reduced = k - 1;

    // T = N_kᵀ·H_FF, then Q = T·N_k, each entry summed from 0.0 in index order.
    double* T = w.projected.data();
    for (std::size_t i = 0; i < reduced; ++i) {
        const double* nt = NT[i].data();
        for (std::size_t b = 0; b < k; ++b) {
            double sum = 0.0;
            for (std::size_t a = 0; a < k; ++a)
                sum += nt[a] * H[idx[a]].data()[idx[b]];
            T[i * k + b] = sum;
        }
    }
    double* Q = w.reducedHessian.data();
    for (std::size_t i = 0; i < reduced; ++i)
        for (std::size_t j = 0; j < reduced; ++j) {
            double sum = 0.0;
            for (std::size_t b = 0; b < k; ++b)
                sum += T[i * k + b] * N[b].data()[j];
            Q[i * reduced + j] = sum;
        }

    // r_a = f_F[a] − Σ_j H[idx_a][j]·x_j over all variables; u = N_kᵀ·r.
    double* r = w.reducedGradient.data();
    for (std::size_t a = 0; a < k; ++a) {
        const double* h = H[idx[a]].data();
        double sum = 0.0;
        for (std::size_t j = 0; j < n; ++j)
            sum += h[j] * x[j];
        r[a] = f[idx[a]] - sum;
    }
    double* u = w.reducedRhs.data();
    for (std::size_t i = 0; i < reduced; ++i) {
        const double* nt = NT[i].data();
        double sum = 0.0;
        for (std::size_t a = 0; a < k; ++a)
            sum += nt[a] * r[a];
        u[i] = sum;
    }

    auto rowOfQ = [Q, reduced](std::size_t i) { return Q + i * reduced; };
    if (!eliminateRows(rowOfQ, u, reduced))
        return;
    double* z = w.reducedSolution.data();
    substituteRows(rowOfQ, u, z, reduced);
    if (!allFinite(z, reduced))
        return;

    for (std::size_t a = 0; a < k; ++a) {
        const double* na = N[a].data();
        double sum = 0.0;
        for (std::size_t j = 0; j < reduced; ++j)
            sum += z[j] * na[j];
        s[idx[a]] = s[idx[a]] + sum;
    }
    if (!allFinite(s, n))
        for (std::size_t i = 0; i < n; ++i)
            s[i] = 0.0;
}

// H = AᵀA and f = Aᵀb with the values of gramMatrix and
// multiplyTransposedVector: every entry is still summed from 0.0 over the
// rows in order, but the rows are walked once for all entries, and the lower
// triangle is the mirror of the upper (the products are the same).
void normalEquations(const Matrix& A, const Vector& b, Matrix& H, Vector& f)
{
    const std::size_t rows = rowCount(A), n = columnCount(A);
    if (b.size() < rows)
        throwSubscriptError();
    for (std::size_t k = 0; k < rows; ++k)
        if (A[k].size() < n)
            throwSubscriptError();
    resizeMatrix(H, n, n);
    f.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        f[i] = 0.0;
        for (std::size_t j = i; j < n; ++j)
            H[i][j] = 0.0;
    }
    for (std::size_t k = 0; k < rows; ++k) {
        const double* a = A[k].data();
        const double bk = b[k];
        for (std::size_t i = 0; i < n; ++i) {
            double* h = H[i].data();
            const double ai = a[i];
            for (std::size_t j = i; j < n; ++j)
                h[j] += ai * a[j];
            f[i] += ai * bk;
        }
    }
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < i; ++j)
            H[i][j] = H[j][i];
}

} // namespace

bool gaussEliminate(Matrix& M, Vector& b)
{
    std::size_t n = columnCount(M);
    checkSquareSystem(M, b.size(), n);
    return eliminateRows([&M](std::size_t i) { return M[i].data(); }, b.data(), n);
}

void backSubstitute(const Matrix& M, const Vector& b, Vector& x)
{
    std::size_t n = columnCount(M);
    checkSquareSystem(M, b.size(), n);
    x.resize(n);
    substituteRows([&M](std::size_t i) { return M[i].data(); }, b.data(), x.data(), n);
}

void solveLeastSquares(const Matrix& A, const Vector& b, Vector& x)
{
    Matrix G = gramMatrix(A);
    Vector y = multiplyTransposedVector(A, b);
    if (gaussEliminate(G, y))
        backSubstitute(G, y, x);
}

void buildZeroSumBases(int K)
{
    std::size_t count = K < 0 ? 0 : std::size_t(K) + 1;
    zeroSumBases.assign(count, Matrix());
    zeroSumBasesTransposed.assign(count, Matrix());
    for (std::size_t k = 1; k < count; ++k) {
        Matrix& N = zeroSumBases[k];
        resizeMatrix(N, k, k - 1);
        double s = std::sqrt(double(k));
        double beta = -1.0 / (double(k) + s);
        for (std::size_t j = 0; j + 1 < k; ++j)
            N[0][j] = -1.0 / s;
        for (std::size_t r = 1; r < k; ++r)
            for (std::size_t j = 0; j + 1 < k; ++j)
                N[r][j] = j == r - 1 ? 1.0 + beta : beta;
        zeroSumBasesTransposed[k] = transpose(N);
    }
}

void solveSimplexNormal(const Matrix& H, const Vector& f, Vector& x)
{
    const std::size_t n = x.size();
    checkSquareSystem(H, f.size(), n);
    if (zeroSumBases.size() <= n || zeroSumBasesTransposed.size() <= n)
        throwSubscriptError(); // buildZeroSumBases(K ≥ n) has not run

    SimplexWork w;
    sizeSimplexWork(w, n);
    for (std::size_t i = 0; i < n; ++i)
        w.isFree[i] = x[i] >= freeTolerance;
    double* s = w.step.data();
    double* g = w.gradient.data();

    for (int iteration = 0; iteration < maxActiveSetIterations; ++iteration) {
        freeSetStep(H, f.data(), x.data(), w, n);

        bool fullStep = true;
        for (std::size_t i = 0; i < n; ++i)
            if (!(x[i] + s[i] >= 0)) {
                fullStep = false;
                break;
            }

        if (fullStep) {
            for (std::size_t i = 0; i < n; ++i)
                x[i] = x[i] + s[i];
            for (std::size_t i = 0; i < n; ++i) {
                const double* h = H[i].data();
                double sum = 0.0;
                for (std::size_t j = 0; j < n; ++j)
                    sum += h[j] * x[j];
                g[i] = -f[i] + sum;
            }

            // Multiplier test: the common multiplier μ of the sum constraint
            // against the most promising fixed variable q.
            double freeSum = 0.0;
            int freeCount = 0;
            double lowest = 1e100;
            std::size_t q = n; // none
            for (std::size_t i = 0; i < n; ++i) {
                if (w.isFree[i]) {
                    freeSum += g[i];
                    ++freeCount;
                } else if (g[i] < lowest) {
                    lowest = g[i];
                    q = i;
                }
            }
            if (q == n)
                return; // nothing left to release
            double mu = freeCount > 0 ? freeSum / freeCount : 0.0;
            double t = g[q] - mu;
            if (t >= 0)
                return;
            w.isFree[q] = 1;
        } else {
            // Step back to the first bound the step crosses.
            double alpha = 1.0;
            for (std::size_t i = 0; i < n; ++i)
                if (s[i] < 0 && -s[i] > x[i]) {
                    double ratio = -(x[i] / s[i]);
                    if (ratio < alpha)
                        alpha = ratio;
                }
            if (alpha < minStepLength)
                return;
            for (std::size_t i = 0; i < n; ++i) {
                x[i] = x[i] + alpha * s[i];
                if (x[i] < freeTolerance) {
                    x[i] = 0.0;
                    w.isFree[i] = 0;
                }
            }
        }
    }
}

void solveSimplexLeastSquares(const Matrix& A, const Vector& b, Vector& x)
{
    Matrix H;
    Vector f;
    normalEquations(A, b, H, f);
    solveSimplexNormal(H, f, x);
}
