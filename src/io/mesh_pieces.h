// The connected pieces of a mesh, to tell a user why nothing could be
// fitted (a mesh split at its seams, or separate triangles).
#pragma once

#include <cstddef>
#include <vector>

struct MeshPieces {
    std::size_t count = 0;   // connected pieces (a lone vertex is one)
    std::size_t largest = 0; // vertices of the largest piece
};

// neighbours: per vertex, its adjacent vertices (indices in range).
MeshPieces countMeshPieces(const std::vector<std::vector<int>>& neighbours);
