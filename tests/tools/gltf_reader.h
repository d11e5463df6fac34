// The tests read exported files with the reader the converter uses to import
// glTF and to check what it wrote (formats/gltf_sampling.h): the document,
// accessors, and the mesh posed at every key time of the first animation.
#pragma once

#include <string>
#include <vector>

#include "formats/gltf_sampling.h"
#include "io/io_test_files.h"

namespace gltftest {

struct Asset {
    GltfDocument file;
    nlohmann::json doc;         // file.json
    std::vector<double> times;  // key times
    std::vector<double> poses;  // x, y, z per vertex, key after key
};

inline Asset loadAsset(const std::string& fileName)
{
    Asset asset;
    loadGltfDocument(fileName, asset.file);
    asset.doc = asset.file.json;
    gltfKeyPoses(asset.file, asset.times, asset.poses);
    return asset;
}
// The values' bytes as the machine (little-endian, as glTF) holds them.
template <typename T>
std::string bytesOf(std::initializer_list<T> values)
{
    std::string s;
    for (T v : values)
        s.append(reinterpret_cast<const char*>(&v), sizeof v);
    return s;
}

inline std::vector<double> readAccessor(const Asset& asset, int index) { return readGltfAccessor(asset.file, std::size_t(index)).values; }
inline std::vector<double> skinnedPositions(const Asset& asset, int key)
{
    const std::size_t n = asset.poses.size() / asset.times.size();
    return std::vector<double>(asset.poses.begin() + long(std::size_t(key) * n), asset.poses.begin() + long(std::size_t(key + 1) * n));
}

} // namespace gltftest
