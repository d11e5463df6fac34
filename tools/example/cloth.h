// A generated cloth example: a flag, a flat rectangular sheet pinned along one
// edge and blown about by a travelling wave. The rest pose is exactly flat
// (z = 0), as a cloth simulation usually starts; every frame bends the sheet
// without stretching it along the wind. Everything follows from the seed.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/obj_mesh.h"

struct ClothOptions {
    std::uint64_t seed = 1;
    int numFrames = 40;
    int columns = 60; // vertices along the wind, the first column pinned
    int rows = 40;    // vertices along the pole
};

struct Cloth {
    ObjMesh rest;               // flat sheet in z = 0, two triangles per quad
    std::vector<double> frames; // numFrames x (columns·rows) x 3
};

// Builds the flag. Vertex (i, j) of column i and row j has index i·rows + j;
// the sheet is 3 units along the wind (x) and 2 along the pole (y).
void buildCloth(const ClothOptions& options, Cloth& cloth);
