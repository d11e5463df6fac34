// Reading back a glTF 2.0 file the way a viewer does, to check what a file
// really holds: the container (.glb, or .gltf with its buffer embedded as a
// base64 data URI), accessors, and the skinned positions of the first skinned
// mesh at each animation sample (node hierarchy, samples, inverse bind
// matrices, joints and weights). Everything is evaluated in double from the
// stored values. Failures throw std::runtime_error naming the problem.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

struct GltfAsset {
    nlohmann::json doc;
    std::string buffer; // the first buffer's bytes
};

// bytes: the whole file.
GltfAsset decodeGltf(const std::string& bytes);

// Accessor values as doubles, element after element, components in order
// (float, unsigned byte, unsigned short or unsigned int components).
std::vector<double> gltfAccessor(const GltfAsset& asset, int index);

// x, y, z per vertex of the first skinned mesh, with every channel of the
// first animation at its sample number `sample` (nodes without a channel keep
// their own transformation).
std::vector<double> gltfSkinnedPositions(const GltfAsset& asset, int sample);
