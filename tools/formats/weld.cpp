#include "formats/weld.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>

namespace {

// Trajectory of vertex v: rest position, then its position in every frame.
struct Trajectories {
    const std::vector<double>& rest;
    const std::vector<double>& frames;
    std::size_t numFrames, width;

    double at(std::size_t v, std::size_t k) const
    {
        return k < 3 ? rest[v * 3 + k] : frames[(k / 3 - 1) * width + v * 3 + k % 3];
    }
    bool same(std::size_t a, std::size_t b) const
    {
        for (std::size_t k = 0; k < 3 * (numFrames + 1); ++k)
            if (at(a, k) != at(b, k))
                return false;
        return true;
    }
    std::uint64_t hash(std::size_t v) const
    {
        std::uint64_t h = 1469598103934665603ull;
        for (std::size_t k = 0; k < 3 * (numFrames + 1); ++k) {
            const double x = at(v, k) + 0.0; // -0 and 0 coincide
            std::uint64_t bits;
            std::memcpy(&bits, &x, 8);
            h = (h ^ bits) * 1099511628211ull;
        }
        return h;
    }
};

} // namespace

std::size_t weldVertices(ObjMesh& rest, std::vector<double>& frames, std::size_t numFrames, std::vector<std::size_t>* vertexMap)
{
    const std::size_t n = rest.positions.size() / 3, width = 3 * n;
    const Trajectories t{rest.positions, frames, numFrames, width};
    // Vertices grouped by a hash of their trajectory; within a group, each
    // vertex joins the first earlier one that coincides with it exactly.
    std::vector<std::uint64_t> hash(n);
    for (std::size_t v = 0; v < n; ++v)
        hash[v] = t.hash(v);
    std::vector<std::size_t> order(n), keep(n);
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return hash[a] < hash[b]; });
    for (std::size_t begin = 0, end = 0; begin < n; begin = end) {
        while (end < n && hash[order[end]] == hash[order[begin]])
            ++end;
        std::vector<std::size_t> kept; // representatives in this group, in file order
        for (std::size_t k = begin; k < end; ++k) {
            const std::size_t v = order[k];
            auto match = std::find_if(kept.begin(), kept.end(), [&](std::size_t r) { return t.same(r, v); });
            keep[v] = match == kept.end() ? v : *match;
            if (match == kept.end())
                kept.push_back(v);
        }
    }
    std::vector<std::size_t> index(n);
    std::size_t count = 0;
    for (std::size_t v = 0; v < n; ++v)
        if (keep[v] == v) {
            index[v] = count;
            for (std::size_t c = 0; c < 3; ++c)
                rest.positions[count * 3 + c] = rest.positions[v * 3 + c];
            ++count;
        }
    // In place: a vertex's new slot never lies after its old one.
    for (std::size_t f = 0; f < numFrames; ++f)
        for (std::size_t v = 0; v < n; ++v)
            if (keep[v] == v)
                for (std::size_t c = 0; c < 3; ++c)
                    frames[f * count * 3 + index[v] * 3 + c] = frames[f * width + v * 3 + c];
    if (vertexMap) {
        vertexMap->resize(n);
        for (std::size_t v = 0; v < n; ++v)
            (*vertexMap)[v] = index[keep[v]];
    }
    rest.positions.resize(count * 3);
    frames.resize(numFrames * count * 3);
    std::vector<int> triangles;
    for (std::size_t i = 0; i + 2 < rest.triangles.size(); i += 3) {
        const int a = int(index[keep[std::size_t(rest.triangles[i])]]), b = int(index[keep[std::size_t(rest.triangles[i + 1])]]),
                  c = int(index[keep[std::size_t(rest.triangles[i + 2])]]);
        if (a != b && b != c && a != c)
            triangles.insert(triangles.end(), {a, b, c});
    }
    rest.triangles = std::move(triangles);
    return count;
}
