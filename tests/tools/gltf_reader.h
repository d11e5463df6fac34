// The tests read exported files with the same decoder the converter uses to
// check what it wrote (formats/gltf_decode.h), under the names they know.
#pragma once

#include <string>
#include <vector>

#include "formats/gltf_decode.h"
#include "io/io_test_files.h"

namespace gltftest {

using Asset = GltfAsset;

inline Asset loadAsset(const std::string& file) { return decodeGltf(readWholeFile(file)); }
inline std::vector<double> readAccessor(const Asset& asset, int index) { return gltfAccessor(asset, index); }
inline std::vector<double> skinnedPositions(const Asset& asset, int frame) { return gltfSkinnedPositions(asset, frame); }

} // namespace gltftest
