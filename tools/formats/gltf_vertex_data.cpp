#include "formats/gltf_vertex_data.h"

#include <algorithm>
#include <cmath>

// Area-weighted vertex normals of the rest mesh, unit length.
std::vector<float> vertexNormals(const ObjMesh& mesh)
{
    const std::vector<double>& p = mesh.positions;
    std::vector<double> sum(p.size(), 0.0);
    for (std::size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        std::size_t a = std::size_t(mesh.triangles[t]) * 3, b = std::size_t(mesh.triangles[t + 1]) * 3,
                    c = std::size_t(mesh.triangles[t + 2]) * 3;
        double u[3], v[3];
        for (int k = 0; k < 3; ++k) {
            u[k] = p[b + std::size_t(k)] - p[a + std::size_t(k)];
            v[k] = p[c + std::size_t(k)] - p[a + std::size_t(k)];
        }
        double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        for (std::size_t corner : {a, b, c})
            for (int k = 0; k < 3; ++k)
                sum[corner + std::size_t(k)] += n[k];
    }
    std::vector<float> out(p.size());
    for (std::size_t v = 0; v < p.size(); v += 3) {
        double len = std::sqrt(sum[v] * sum[v] + sum[v + 1] * sum[v + 1] + sum[v + 2] * sum[v + 2]);
        // A vertex on no triangle (or only on degenerate ones) still needs a unit normal.
        for (int k = 0; k < 3; ++k)
            out[v + std::size_t(k)] = len > 0.0 ? float(sum[v + std::size_t(k)] / len) : (k == 2 ? 1.0f : 0.0f);
    }
    return out;
}

// Up to four influences per vertex, largest first, renormalised so that the
// float weights add up to 1 as a reader sums them (in float, slot order).
void vertexInfluences(const RigData& rig, int fallbackBone, std::vector<std::uint16_t>& joints, std::vector<float>& weights,
                      GltfExportReport& report)
{
    joints.assign(std::size_t(rig.numVertices) * 4, 0);
    weights.assign(std::size_t(rig.numVertices) * 4, 0.0f);
    std::vector<RigInfluence> row;
    for (int v = 0; v < rig.numVertices; ++v) {
        row = rig.weights[std::size_t(v)];
        if (row.empty()) {
            ++report.unweightedVertices;
            row.push_back({fallbackBone, 1.0});
        }
        std::stable_sort(row.begin(), row.end(), [](const RigInfluence& a, const RigInfluence& b) { return a.weight > b.weight; });
        if (row.size() > 4) {
            ++report.truncatedVertices;
            row.resize(4);
        }
        double sum = 0.0;
        for (const RigInfluence& in : row)
            sum += in.weight;
        float* w = &weights[std::size_t(v) * 4];
        for (std::size_t k = 0; k < row.size(); ++k) {
            joints[std::size_t(v) * 4 + k] = std::uint16_t(row[k].bone);
            w[k] = float(row[k].weight / sum);
        }
        for (int pass = 0; pass < 4; ++pass) {
            float total = 0.0f;
            for (int k = 0; k < 4; ++k)
                total += w[k];
            if (total == 1.0f)
                break;
            w[0] += 1.0f - total;
        }
        // A slot whose weight rounded to zero must name joint 0.
        for (int k = 0; k < 4; ++k)
            if (w[k] == 0.0f)
                joints[std::size_t(v) * 4 + std::size_t(k)] = 0;
    }
}
