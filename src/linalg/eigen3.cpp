#include "linalg/eigen3.h"

#include <cmath>

namespace {

// sqrt(a·a + b·b) without rescaling: the rotation fits depend on these exact bits.
inline double plainHypot(double a, double b) { return std::sqrt(a * a + b * b); }

// A bound on the QL sweeps per eigenvalue; finite symmetric input converges
// in a handful, so the bound only stops non-finite or pathological input.
constexpr int maxSweepsPerEigenvalue = 30;

} // namespace

void tridiagonalize3(double V[3][3], double d[3], double e[3])
{
    const int n = 3;
    for (int j = 0; j < n; ++j)
        d[j] = V[n - 1][j];

    // Householder reduction, last row first.
    for (int i = n - 1; i > 0; --i) {
        double scale = 0.0;
        double h = 0.0;
        for (int k = 0; k < i; ++k)
            scale = scale + std::fabs(d[k]);
        if (scale == 0.0) {
            e[i] = d[i - 1];
            for (int j = 0; j < i; ++j) {
                d[j] = V[i - 1][j];
                V[i][j] = 0.0;
                V[j][i] = 0.0;
            }
        } else {
            for (int k = 0; k < i; ++k) {
                d[k] = d[k] / scale;
                h = h + d[k] * d[k];
            }
            double f = d[i - 1];
            double g = std::sqrt(h);
            if (f > 0)
                g = -g;
            e[i] = scale * g;
            h = h - f * g;
            d[i - 1] = f - g;
            for (int j = 0; j < i; ++j)
                e[j] = 0.0;

            // Apply the reflection to the remaining columns.
            for (int j = 0; j < i; ++j) {
                f = d[j];
                V[j][i] = f;
                g = e[j] + V[j][j] * f;
                for (int k = j + 1; k <= i - 1; ++k) {
                    g = g + V[k][j] * d[k];
                    e[k] = e[k] + V[k][j] * f;
                }
                e[j] = g;
            }
            f = 0.0;
            for (int j = 0; j < i; ++j) {
                e[j] = e[j] / h;
                f = f + e[j] * d[j];
            }
            double hh = f / (h + h);
            for (int j = 0; j < i; ++j)
                e[j] = e[j] - hh * d[j];
            for (int j = 0; j < i; ++j) {
                f = d[j];
                g = e[j];
                for (int k = j; k <= i - 1; ++k)
                    V[k][j] = V[k][j] - (f * e[k] + g * d[k]);
                d[j] = V[i - 1][j];
                V[i][j] = 0.0;
            }
        }
        d[i] = h;
    }

    // Accumulate the transformations.
    for (int i = 0; i < n - 1; ++i) {
        V[n - 1][i] = V[i][i];
        V[i][i] = 1.0;
        double h = d[i + 1];
        if (h != 0.0) {
            for (int k = 0; k <= i; ++k)
                d[k] = V[k][i + 1] / h;
            for (int j = 0; j <= i; ++j) {
                double g = 0.0;
                for (int k = 0; k <= i; ++k)
                    g = g + V[k][i + 1] * V[k][j];
                for (int k = 0; k <= i; ++k)
                    V[k][j] = V[k][j] - g * d[k];
            }
        }
        for (int k = 0; k <= i; ++k)
            V[k][i + 1] = 0.0;
    }
    for (int j = 0; j < n; ++j) {
        d[j] = V[n - 1][j];
        V[n - 1][j] = 0.0;
    }
    V[n - 1][n - 1] = 1.0;
    e[0] = 0.0;
}

void tridiagonalQL3(double V[3][3], double d[3], double e[3])
{
    const int n = 3;
    e[0] = e[1];
    e[1] = e[2];
    e[2] = 0.0;

    double f = 0.0;
    double tst1 = 0.0;
    const double eps = std::pow(2.0, -52.0);
    for (int l = 0; l < n; ++l) {
        double size = std::fabs(d[l]) + std::fabs(e[l]);
        if (tst1 < size)
            tst1 = size;

        // First negligible subdiagonal entry from l on; e[n-1] closes the
        // search even when the test is NaN.
        int m = l;
        while (m < n - 1 && !(std::fabs(e[m]) <= eps * tst1))
            ++m;

        if (m > l) {
            for (int sweep = 0; sweep < maxSweepsPerEigenvalue; ++sweep) {
                // Implicit shift.
                double g = d[l];
                double p = (d[l + 1] - g) / (2.0 * e[l]);
                double r = plainHypot(p, 1.0);
                if (p < 0)
                    r = -r;
                d[l] = e[l] / (p + r);
                d[l + 1] = e[l] * (p + r);
                double dl1 = d[l + 1];
                double h = g - d[l];
                for (int k = l + 2; k < n; ++k)
                    d[k] = d[k] - h;
                f = f + h;

                // QL transformation.
                p = d[m];
                double cs = 1.0, cs2 = 1.0, cs3 = 1.0;
                double el1 = e[l + 1];
                double sn = 0.0, sn2 = 0.0;
                for (int i = m - 1; i >= l; --i) {
                    cs3 = cs2;
                    cs2 = cs;
                    sn2 = sn;
                    g = cs * e[i];
                    h = cs * p;
                    r = plainHypot(p, e[i]);
                    e[i + 1] = sn * r;
                    sn = e[i] / r;
                    cs = p / r;
                    p = cs * d[i] - sn * g;
                    d[i + 1] = h + sn * (cs * g + sn * d[i]);
                    for (int k = 0; k < n; ++k) {
                        h = V[k][i + 1];
                        V[k][i + 1] = sn * V[k][i] + cs * h;
                        V[k][i] = cs * V[k][i] - sn * h;
                    }
                }
                p = -sn * sn2 * cs3 * el1 * e[l] / dl1;
                e[l] = sn * p;
                d[l] = cs * p;

                // Converged, or the test is NaN and can never pass.
                if (!(std::fabs(e[l]) > eps * tst1))
                    break;
            }
        }
        d[l] = d[l] + f;
        e[l] = 0.0;
    }

    // Selection sort ascending; equal eigenvalues keep their order.
    for (int i = 0; i < n - 1; ++i) {
        int k = i;
        double p = d[i];
        for (int j = i + 1; j < n; ++j)
            if (d[j] < p) {
                k = j;
                p = d[j];
            }
        if (k != i) {
            d[k] = d[i];
            d[i] = p;
            for (int j = 0; j < n; ++j) {
                double t = V[j][i];
                V[j][i] = V[j][k];
                V[j][k] = t;
            }
        }
    }
}

void eigenSymmetric3(double V[3][3], double d[3])
{
    double e[3];
    tridiagonalize3(V, d, e);
    tridiagonalQL3(V, d, e);
}
