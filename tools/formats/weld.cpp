#include "formats/weld.h"

#include <algorithm>
#include <numeric>

std::size_t weldVertices(ObjMesh& rest, std::vector<double>& frames, std::size_t numFrames)
{
    const std::size_t n = rest.positions.size() / 3, width = 3 * n;
    // Vertices sorted by their whole trajectory, rest pose first; ties keep
    // file order so the first of a group comes first.
    auto less = [&](std::size_t a, std::size_t b) {
        for (std::size_t c = 0; c < 3; ++c)
            if (rest.positions[a * 3 + c] != rest.positions[b * 3 + c])
                return rest.positions[a * 3 + c] < rest.positions[b * 3 + c];
        for (std::size_t f = 0; f < numFrames; ++f)
            for (std::size_t c = 0; c < 3; ++c) {
                const double x = frames[f * width + a * 3 + c], y = frames[f * width + b * 3 + c];
                if (x != y)
                    return x < y;
            }
        return false;
    };
    std::vector<std::size_t> order(n), keep(n);
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(), less);
    for (std::size_t k = 0; k < n; ++k)
        keep[order[k]] = k > 0 && !less(order[k - 1], order[k]) ? keep[order[k - 1]] : order[k];
    std::vector<std::size_t> index(n);
    std::size_t count = 0;
    for (std::size_t v = 0; v < n; ++v)
        if (keep[v] == v) {
            index[v] = count;
            for (std::size_t c = 0; c < 3; ++c)
                rest.positions[count * 3 + c] = rest.positions[v * 3 + c];
            ++count;
        }
    for (std::size_t f = 0; f < numFrames; ++f)
        for (std::size_t v = 0; v < n; ++v)
            if (keep[v] == v)
                for (std::size_t c = 0; c < 3; ++c)
                    frames[f * count * 3 + index[v] * 3 + c] = frames[f * width + v * 3 + c];
    rest.positions.resize(count * 3);
    frames.resize(numFrames * count * 3);
    std::vector<int> triangles;
    for (std::size_t t = 0; t + 2 < rest.triangles.size(); t += 3) {
        int a = int(index[keep[std::size_t(rest.triangles[t])]]), b = int(index[keep[std::size_t(rest.triangles[t + 1])]]),
            c = int(index[keep[std::size_t(rest.triangles[t + 2])]]);
        if (a != b && b != c && a != c)
            triangles.insert(triangles.end(), {a, b, c});
    }
    rest.triangles = std::move(triangles);
    return count;
}
