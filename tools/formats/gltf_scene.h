// The parts of a glTF asset that place a mesh: the node hierarchy (TRS or
// matrix), skins and the mesh's primitives with their morph targets, and
// the mesh's positions in one pose.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/gltf_document.h"

using GltfMatrix = std::array<double, 16>; // column-major 4x4

struct GltfNodeState {
    double t[3] = {0, 0, 0};
    double r[4] = {0, 0, 0, 1}; // unit quaternion x, y, z, w
    double s[3] = {1, 1, 1};
    bool hasMatrix = false;
    GltfMatrix matrix{};         // used instead of t, r, s when hasMatrix
};

struct GltfHierarchy {
    std::vector<GltfNodeState> nodes; // as the file gives them, without animation
    std::vector<long> parent;         // -1 for a root
    std::vector<std::size_t> order;   // every node after its parent
};

// Reads the nodes. Throws GltfError when a child index is out of range, a
// node has two parents, the hierarchy has a cycle, or a transformation is
// not finite (or a rotation has zero length).
void readGltfHierarchy(const GltfDocument& doc, GltfHierarchy& hierarchy);

// World matrix of every node for the given local states (one per node).
void gltfWorldMatrices(const GltfHierarchy& hierarchy, const std::vector<GltfNodeState>& states, std::vector<GltfMatrix>& world);

struct GltfSkin {
    std::vector<std::size_t> joints; // node per joint
    std::vector<double> inverseBind; // 16 per joint, column-major (identity when absent)
};

void readGltfSkin(const GltfDocument& doc, std::size_t index, GltfSkin& skin);

struct GltfMesh {
    std::vector<double> positions;           // x, y, z per vertex, primitives one after another
    std::vector<int> triangles;              // three vertex indices per triangle
    std::vector<std::vector<double>> targets; // per morph target: dx, dy, dz per vertex
    std::vector<double> defaultWeights;      // one per target
    std::size_t influences = 0;              // joint-weight pairs per vertex (4 per JOINTS_n set)
    std::vector<std::uint32_t> joints;       // influences per vertex
    std::vector<double> weights;             // influences per vertex
};

// Reads every primitive of mesh `index` (TRIANGLES only; other modes are
// refused). With jointCount > 0 the JOINTS_n/WEIGHTS_n sets are read and
// every joint index is checked against it.
void readGltfMesh(const GltfDocument& doc, std::size_t index, std::size_t jointCount, GltfMesh& mesh);

// Positions of the mesh in one pose into out (x, y, z per vertex): morph
// targets blended by weights (one per target), then skinned by the joints'
// world matrices times their inverse bind matrices when skin is given (the
// mesh node's own transformation does not apply), else moved by meshWorld.
void gltfPosePositions(const GltfMesh& mesh, const GltfSkin* skin, const std::vector<GltfMatrix>& world,
                       const GltfMatrix& meshWorld, const std::vector<double>& weights, double* out);
