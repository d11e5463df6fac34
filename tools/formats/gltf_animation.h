// The animation channels of a glTF asset and their samplers: key times and
// values, sampled at any time by STEP, LINEAR (spherical for rotations) or
// CUBICSPLINE interpolation as glTF 2.0 defines them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "formats/gltf_document.h"

enum class GltfPath { Translation, Rotation, Scale, Weights };
enum class GltfInterpolation { Step, Linear, CubicSpline };

struct GltfChannel {
    std::size_t node = 0;
    GltfPath path = GltfPath::Translation;
    GltfInterpolation interpolation = GltfInterpolation::Linear;
    std::vector<double> times;  // key times in seconds, strictly increasing
    // width values per key; CUBICSPLINE keeps in-tangent, value and
    // out-tangent per key, in that order.
    std::vector<double> values;
    std::size_t width = 0;      // 3, 4 (x, y, z, w) or the morph target count
    std::string place;          // "animations[a].channels[c]", for messages
};

// Appends the channels of animation `animation` that target a node's
// translation, rotation, scale or weights (channels of other paths, e.g.
// of extensions, are left out). Throws GltfError naming the place.
void readGltfChannels(const GltfDocument& doc, std::size_t animation, std::vector<GltfChannel>& channels);

// The channel's value at time t (seconds) into out (width values). Before
// the first key and after the last the end keys hold; a key within `snap`
// seconds of t is taken as it is, so that float key times still give
// the keyed values. Rotations come out unit length.
void sampleGltfChannel(const GltfChannel& channel, double t, double snap, double* out);
