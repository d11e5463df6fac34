#include "formats/rigid_pose.h"

#include <algorithm>
#include <cmath>

namespace {

double determinant3(const double* m)
{
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
}

// Inverse transpose of m: its cofactor matrix divided by the determinant.
void inverseTranspose3(const double* m, double det, double* out)
{
    out[0] = (m[4] * m[8] - m[5] * m[7]) / det;
    out[1] = (m[5] * m[6] - m[3] * m[8]) / det;
    out[2] = (m[3] * m[7] - m[4] * m[6]) / det;
    out[3] = (m[2] * m[7] - m[1] * m[8]) / det;
    out[4] = (m[0] * m[8] - m[2] * m[6]) / det;
    out[5] = (m[1] * m[6] - m[0] * m[7]) / det;
    out[6] = (m[1] * m[5] - m[2] * m[4]) / det;
    out[7] = (m[2] * m[3] - m[0] * m[5]) / det;
    out[8] = (m[0] * m[4] - m[1] * m[3]) / det;
}

// Replaces x (det x > 0) by its orthogonal polar factor, the rotation
// nearest to it: Newton's iteration X <- (g·X + X^-T / g) / 2, scaled by
// g = sqrt(|X^-1| / |X|) so that it converges fast even when x is far from
// orthogonal.
void polarRotation(double* x)
{
    double change = 1.0;
    for (int iter = 0; iter < 100 && change >= 1e-15; ++iter) {
        double it[9], normX = 0.0, normI = 0.0;
        inverseTranspose3(x, determinant3(x), it);
        for (int k = 0; k < 9; ++k) {
            normX += x[k] * x[k];
            normI += it[k] * it[k];
        }
        // Scaling speeds up the early steps; near the end it would only add noise.
        double g = change < 1e-3 ? 1.0 : std::sqrt(std::sqrt(normI / normX));
        change = 0.0;
        for (int k = 0; k < 9; ++k) {
            double next = 0.5 * (g * x[k] + it[k] / g);
            change = std::max(change, std::abs(next - x[k]));
            x[k] = next;
        }
    }
}

} // namespace

bool splitRigidLinear(const double* m, double q[9], double& sign)
{
    for (int k = 0; k < 9; ++k)
        if (!std::isfinite(m[k]))
            return false;
    double scaleSq = 0.0;
    for (int k = 0; k < 9; ++k)
        scaleSq += m[k] * m[k];
    double det = determinant3(m);
    if (!(std::abs(det) > 1e-9 * scaleSq * std::sqrt(scaleSq)))
        return false;
    sign = det < 0.0 ? -1.0 : 1.0;
    for (int k = 0; k < 9; ++k)
        q[k] = sign * m[k];
    polarRotation(q);
    return true;
}

void rotationToQuaternion(const double* q, double out[4])
{
    double x, y, z, w;
    double trace = q[0] + q[4] + q[8];
    // Divide by the largest of the four candidates for accuracy.
    if (trace > 0.0) {
        double s = std::sqrt(trace + 1.0) * 2.0;
        w = 0.25 * s;
        x = (q[7] - q[5]) / s;
        y = (q[2] - q[6]) / s;
        z = (q[3] - q[1]) / s;
    } else if (q[0] > q[4] && q[0] > q[8]) {
        double s = std::sqrt(1.0 + q[0] - q[4] - q[8]) * 2.0;
        w = (q[7] - q[5]) / s;
        x = 0.25 * s;
        y = (q[1] + q[3]) / s;
        z = (q[2] + q[6]) / s;
    } else if (q[4] > q[8]) {
        double s = std::sqrt(1.0 + q[4] - q[0] - q[8]) * 2.0;
        w = (q[2] - q[6]) / s;
        x = (q[1] + q[3]) / s;
        y = 0.25 * s;
        z = (q[5] + q[7]) / s;
    } else {
        double s = std::sqrt(1.0 + q[8] - q[0] - q[4]) * 2.0;
        w = (q[3] - q[1]) / s;
        x = (q[2] + q[6]) / s;
        y = (q[5] + q[7]) / s;
        z = 0.25 * s;
    }
    double n = std::sqrt(x * x + y * y + z * z + w * w);
    out[0] = x / n;
    out[1] = y / n;
    out[2] = z / n;
    out[3] = w / n;
}

void multiplyTransposed3(const double* a, const double* b, double* c)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            c[i * 3 + j] = a[0 * 3 + i] * b[0 * 3 + j] + a[1 * 3 + i] * b[1 * 3 + j] + a[2 * 3 + i] * b[2 * 3 + j];
}

