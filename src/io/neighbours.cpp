#include "io/neighbours.h"

#include <set>

#include "linalg/dense.h"

void buildNeighbours(int n, const Triangles& triangles, std::vector<std::vector<int>>& neighbours)
{
    if (n < 0)
        n = 0;
    neighbours.assign(std::size_t(n), std::vector<int>());
    // Per vertex, the higher-numbered vertices it is already linked to: an
    // edge shared by several triangles is recorded at its first occurrence only.
    std::vector<std::set<int>> linkedAbove(static_cast<std::size_t>(n));
    for (const std::array<int, 3>& t : triangles) {
        for (int e = 0; e < 3; ++e) {
            int a = t[e];
            int b = t[(e + 1) % 3];
            if (a < 0 || a >= n || b < 0 || b >= n)
                throwSubscriptError();
            int lo = a < b ? a : b;
            int hi = a < b ? b : a;
            if (!linkedAbove[lo].insert(hi).second)
                continue;
            neighbours[lo].push_back(hi);
            neighbours[hi].push_back(lo);
        }
    }
}
