// An independent reader of the exported glTF files for the tests: it parses
// the container, reads accessors, and evaluates the skinned mesh the way a
// glTF viewer does (node hierarchy, animation samples, joint matrices).
#pragma once

#ifdef TOLVAN_CONVERT

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace gltftest {

struct Asset {
    nlohmann::json doc;
    std::string buffer;
};

// Reads a .glb or a .gltf whose buffer is a base64 data URI. On failure
// returns false with a reason.
bool loadAsset(const std::string& file, Asset& asset, std::string& error);

// Accessor values converted to double, element after element.
std::vector<double> readAccessor(const Asset& asset, int index, int& components);

// Skinned positions of the first skinned mesh in frame f (the animation's
// f-th sample of every channel): x, y, z per vertex.
std::vector<double> skinnedPositions(const Asset& asset, int frame);

} // namespace gltftest
#endif
