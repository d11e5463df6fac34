// Merging of vertices that a mesh file keeps apart but that move as one
// point: glTF writers split vertices at texture seams and hard edges.
#pragma once

#include <cstddef>
#include <vector>

#include "formats/obj_mesh.h"

// Merges the vertices that coincide exactly in the rest pose and in every
// frame (frames: numFrames × vertices × (x, y, z)). The first vertex of a
// merged group stands for it, and vertices keep their order of first
// appearance; triangles are renumbered, and those left with a repeated
// corner (zero area in every frame) are dropped. Returns the vertex count.
// vertexMap, when given, receives per input vertex its index in the result.
std::size_t weldVertices(ObjMesh& rest, std::vector<double>& frames, std::size_t numFrames,
                         std::vector<std::size_t>* vertexMap = nullptr);
