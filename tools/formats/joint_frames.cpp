#include "formats/joint_frames.h"

#include <algorithm>
#include <cmath>

namespace {

double norm3(const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Principal axis (unit) of the bone's rest vertices, weighted by their
// weights, by power iteration from each coordinate axis (the best of three,
// so that no start is orthogonal to the answer). False when they do not
// spread out.
bool principalAxis(const RigData& rig, const std::vector<double>& rest, int bone, const double* centre, double axis[3])
{
    double c[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int v = 0; v < rig.numVertices; ++v)
        for (const RigInfluence& in : rig.weights[std::size_t(v)])
            if (in.bone == bone) {
                double d[3];
                for (int k = 0; k < 3; ++k)
                    d[k] = rest[std::size_t(v) * 3 + std::size_t(k)] - centre[k];
                for (int r = 0; r < 3; ++r)
                    for (int k = 0; k < 3; ++k)
                        c[r * 3 + k] += in.weight * d[r] * d[k];
            }
    const double scale = c[0] + c[4] + c[8];
    if (!(scale > 0.0))
        return false;
    double best = -1.0;
    for (int start = 0; start < 3; ++start) {
        double v[3] = {0.0, 0.0, 0.0}, w[3];
        v[start] = 1.0;
        double lambda = 0.0;
        for (int iter = 0; iter < 200; ++iter) {
            for (int r = 0; r < 3; ++r)
                w[r] = c[r * 3] * v[0] + c[r * 3 + 1] * v[1] + c[r * 3 + 2] * v[2];
            lambda = norm3(w);
            if (!(lambda > 1e-12 * scale))
                break;
            for (int k = 0; k < 3; ++k)
                v[k] = w[k] / lambda;
        }
        if (lambda > best && lambda > 1e-12 * scale) {
            best = lambda;
            std::copy(v, v + 3, axis);
        }
    }
    return best > 0.0;
}

// a · b for row-major 3x3 matrices.
void multiply3(const double* a, const double* b, double* c)
{
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            c[r * 3 + k] = a[r * 3] * b[k] + a[r * 3 + 1] * b[3 + k] + a[r * 3 + 2] * b[6 + k];
}

} // namespace

void smallestRotation(const double a[3], const double b[3], double r[9])
{
    double axis[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const double cosine = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    double sine = norm3(axis);
    if (sine < 1e-12 && cosine < 0.0) {
        // Opposite: any axis perpendicular to a, here the one from the
        // coordinate axis least aligned with a.
        const int k = std::fabs(a[0]) <= std::fabs(a[1]) && std::fabs(a[0]) <= std::fabs(a[2]) ? 0 : std::fabs(a[1]) <= std::fabs(a[2]) ? 1 : 2;
        const double e[3] = {k == 0 ? 1.0 : 0.0, k == 1 ? 1.0 : 0.0, k == 2 ? 1.0 : 0.0};
        axis[0] = a[1] * e[2] - a[2] * e[1];
        axis[1] = a[2] * e[0] - a[0] * e[2];
        axis[2] = a[0] * e[1] - a[1] * e[0];
        sine = 0.0;
    }
    const double len = norm3(axis);
    if (len == 0.0) {
        const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::copy(identity, identity + 9, r);
        return;
    }
    const double u[3] = {axis[0] / len, axis[1] / len, axis[2] / len};
    // Rodrigues: r = cos·I + sin·[u]x + (1 - cos)·u·u^T, with sin = |a x b|.
    const double cs = std::max(-1.0, std::min(1.0, cosine)), sn = sine, t = 1.0 - cs;
    const double k[9] = {0, -u[2], u[1], u[2], 0, -u[0], -u[1], u[0], 0};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i * 3 + j] = (i == j ? cs : 0.0) + sn * k[i * 3 + j] + t * u[i] * u[j];
}

void orientJoints(const RigData& rig, const std::vector<double>& rest, JointTree& tree)
{
    const int nB = rig.numBones;
    double lo[3] = {0.0, 0.0, 0.0}, hi[3] = {0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < rest.size(); ++i) {
        lo[i % 3] = i < 3 ? rest[i] : std::min(lo[i % 3], rest[i]);
        hi[i % 3] = i < 3 ? rest[i] : std::max(hi[i % 3], rest[i]);
    }
    const double d[3] = {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
    // Heads closer than this to their target give no direction.
    const double tiny = 1e-9 * std::max(norm3(d), 1e-300);
    std::vector<double> sum(std::size_t(nB) * 3, 0.0);
    std::vector<int> children(std::size_t(nB), 0);
    for (int j : tree.order)
        if (int p = tree.parent[std::size_t(j)]; p >= 0) {
            ++children[std::size_t(p)];
            for (int k = 0; k < 3; ++k)
                sum[std::size_t(p) * 3 + std::size_t(k)] += tree.head[std::size_t(j) * 3 + std::size_t(k)];
        }
    tree.rotation.assign(std::size_t(nB) * 9, 0.0);
    for (int j : tree.order) {
        const std::size_t b = std::size_t(j);
        const double* h = &tree.head[b * 3];
        const int p = tree.parent[b];
        const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        const double* base = p < 0 ? identity : &tree.rotation[std::size_t(p) * 9];
        const double up[3] = {base[1], base[4], base[7]}; // the parent's +Y
        double y[3] = {0.0, 0.0, 0.0};
        bool found = false;
        if (children[b] > 0) {
            for (int k = 0; k < 3; ++k)
                y[k] = sum[b * 3 + std::size_t(k)] / children[b] - h[k];
            found = norm3(y) > tiny;
        }
        if (!found && principalAxis(rig, rest, j, &tree.centre[b * 3], y)) {
            // Away from the head; for a root, whose head is its centre, the
            // side nearer the parent's +Y.
            const double* c = &tree.centre[b * 3];
            double away = (c[0] - h[0]) * y[0] + (c[1] - h[1]) * y[1] + (c[2] - h[2]) * y[2];
            if (std::fabs(away) <= tiny * norm3(y))
                away = up[0] * y[0] + up[1] * y[1] + up[2] * y[2];
            if (away < 0.0)
                for (double& v : y)
                    v = -v;
            found = true;
        }
        double turn[9];
        if (found) {
            const double len = norm3(y);
            for (double& v : y)
                v /= len;
            smallestRotation(up, y, turn);
        } else {
            std::copy(identity, identity + 9, turn);
        }
        multiply3(turn, base, &tree.rotation[b * 9]);
    }
}
