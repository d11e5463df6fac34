#include "io/mesh_pieces.h"

#include <algorithm>

MeshPieces countMeshPieces(const std::vector<std::vector<int>>& neighbours)
{
    MeshPieces pieces;
    std::vector<char> seen(neighbours.size(), 0);
    std::vector<int> stack;
    for (std::size_t start = 0; start < neighbours.size(); ++start) {
        if (seen[start])
            continue;
        // Depth-first walk with an explicit stack: a long strip must not overflow the call stack.
        std::size_t size = 0;
        seen[start] = 1;
        stack.assign(1, int(start));
        while (!stack.empty()) {
            const int v = stack.back();
            stack.pop_back();
            ++size;
            for (int w : neighbours[std::size_t(v)])
                if (!seen[std::size_t(w)]) {
                    seen[std::size_t(w)] = 1;
                    stack.push_back(w);
                }
        }
        ++pieces.count;
        pieces.largest = std::max(pieces.largest, size);
    }
    return pieces;
}
