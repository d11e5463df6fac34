// An independent reader of the exported glTF files for the tests: it parses
// the container, reads accessors, and evaluates the skinned mesh the way a
// glTF viewer does (node hierarchy, animation samples, joint matrices).
#pragma once

#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "io/io_test_files.h"

namespace gltftest {

using nlohmann::json;
using Mat4 = std::vector<double>; // column-major 4x4

struct Asset {
    json doc;
    std::string buffer;
};

inline std::uint32_t readUint32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k)
        v |= std::uint32_t(std::uint8_t(s.at(at + k))) << (8 * k);
    return v;
}

// Reads a .glb or a .gltf whose buffer is a base64 data URI; throws on a bad file.
inline Asset loadAsset(const std::string& file)
{
    Asset asset;
    const std::string bytes = readWholeFile(file);
    if (bytes.size() >= 12 && readUint32(bytes, 0) == 0x46546C67u) { // "glTF"
        if (readUint32(bytes, 4) != 2 || readUint32(bytes, 8) != bytes.size())
            throw std::runtime_error("bad header");
        std::string text;
        for (std::size_t at = 12; at + 8 <= bytes.size();) {
            std::uint32_t length = readUint32(bytes, at), type = readUint32(bytes, at + 4);
            if (at + 8 + length > bytes.size() || length % 4)
                throw std::runtime_error("bad chunk");
            (type == 0x4E4F534Au ? text : asset.buffer) = bytes.substr(at + 8, length); // JSON or BIN
            at += 8 + length;
        }
        asset.doc = json::parse(text);
    } else {
        asset.doc = json::parse(bytes);
        const std::string uri = asset.doc["buffers"][0]["uri"], prefix = "data:application/octet-stream;base64,";
        if (uri.rfind(prefix, 0) != 0)
            throw std::runtime_error("buffer is not embedded");
        const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::uint32_t acc = 0;
        int bits = 0;
        for (char c : uri.substr(prefix.size())) {
            if (digits.find(c) == std::string::npos)
                break;
            acc = (acc << 6) | std::uint32_t(digits.find(c));
            if ((bits += 6) >= 8)
                asset.buffer.push_back(char((acc >> (bits -= 8)) & 0xFF));
        }
    }
    if (asset.buffer.size() < asset.doc["buffers"][0]["byteLength"].get<std::size_t>())
        throw std::runtime_error("short buffer");
    return asset;
}

// Accessor values converted to double, element after element (float, unsigned byte or short).
inline std::vector<double> readAccessor(const Asset& asset, int index)
{
    const json& a = asset.doc["accessors"][std::size_t(index)];
    const json& view = asset.doc["bufferViews"][a["bufferView"].get<std::size_t>()];
    const std::string type = a["type"];
    const std::size_t components = type == "SCALAR" ? 1 : type == "MAT4" ? 16 : std::size_t(type[3] - '0');
    const int kind = a["componentType"];
    const std::size_t size = kind == 5126 ? 4 : kind == 5123 ? 2 : 1;
    const std::size_t stride = view.value("byteStride", size * components), count = a["count"];
    const std::size_t base = view.value("byteOffset", std::size_t(0)) + a.value("byteOffset", std::size_t(0));
    if (kind != 5126 && kind != 5123 && kind != 5121)
        throw std::runtime_error("unexpected component type");
    if (base + (count - 1) * stride + size * components > asset.buffer.size())
        throw std::runtime_error("accessor past the buffer");
    std::vector<double> out;
    for (std::size_t e = 0; e < count; ++e)
        for (std::size_t c = 0; c < components; ++c) {
            const char* p = asset.buffer.data() + base + e * stride + c * size;
            float f;
            std::uint16_t s;
            out.push_back(kind == 5126 ? (std::memcpy(&f, p, 4), double(f))
                          : kind == 5123 ? (std::memcpy(&s, p, 2), double(s))
                                         : double(std::uint8_t(*p)));
        }
    return out;
}

inline Mat4 multiply(const Mat4& a, const Mat4& b)
{
    Mat4 c(16, 0.0);
    for (std::size_t col = 0; col < 4; ++col)
        for (std::size_t row = 0; row < 4; ++row)
            for (std::size_t k = 0; k < 4; ++k)
                c[col * 4 + row] += a[k * 4 + row] * b[col * 4 + k];
    return c;
}

// T · R · S from translation, unit quaternion (x, y, z, w) and scale.
inline Mat4 composeTrs(const double* t, const double* q, const double* s)
{
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    const double r[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - z * w),     2 * (x * z + y * w),
                         2 * (x * y + z * w),     1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
                         2 * (x * z - y * w),     2 * (y * z + x * w),     1 - 2 * (x * x + y * y)};
    Mat4 m = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, t[0], t[1], t[2], 1};
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t col = 0; col < 3; ++col)
            m[col * 4 + row] = r[row * 3 + col] * s[col];
    return m;
}

// Skinned positions of the first skinned mesh in frame f (the animation's
// f-th sample of every channel): x, y, z per vertex.
inline std::vector<double> skinnedPositions(const Asset& asset, int frame)
{
    const json& doc = asset.doc;
    const std::size_t numNodes = doc["nodes"].size();
    // Local transformations: the node's own TRS, replaced by the animation's
    // sample of this frame where a channel targets it.
    std::vector<double> t(numNodes * 3, 0.0), q(numNodes * 4, 0.0), s(numNodes * 3, 1.0);
    const char* paths[3] = {"translation", "rotation", "scale"};
    double* starts[3] = {t.data(), q.data(), s.data()};
    for (std::size_t n = 0; n < numNodes; ++n) {
        q[n * 4 + 3] = 1.0;
        if (doc["nodes"][n].contains("matrix"))
            throw std::runtime_error("matrix nodes are not expected");
        for (int p = 0; p < 3; ++p)
            if (doc["nodes"][n].contains(paths[p]))
                for (std::size_t k = 0; k < (p == 1 ? 4u : 3u); ++k)
                    starts[p][n * (p == 1 ? 4 : 3) + k] = doc["nodes"][n][paths[p]][k];
    }
    const json& anim = doc["animations"][0];
    for (const json& channel : anim["channels"]) {
        const std::size_t node = channel["target"]["node"], p = channel["target"]["path"] == "translation" ? 0
                                                                : channel["target"]["path"] == "rotation"  ? 1 : 2;
        const std::size_t width = p == 1 ? 4 : 3;
        const std::vector<double> out = readAccessor(asset, anim["samplers"][channel["sampler"].get<std::size_t>()]["output"]);
        std::copy(&out.at(std::size_t(frame) * width), &out.at(std::size_t(frame) * width) + width, starts[p] + node * width);
    }
    // Global transformations from the scene roots down.
    std::vector<Mat4> global(numNodes);
    std::vector<std::pair<std::size_t, Mat4>> stack;
    for (const json& root : doc["scenes"][0]["nodes"])
        stack.push_back({root.get<std::size_t>(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}});
    while (!stack.empty()) {
        auto [n, parent] = stack.back();
        stack.pop_back();
        global[n] = multiply(parent, composeTrs(&t[n * 3], &q[n * 4], &s[n * 3]));
        for (const json& c : doc["nodes"][n].value("children", json::array()))
            stack.push_back({c.get<std::size_t>(), global[n]});
    }
    const json& skin = doc["skins"][0];
    const std::vector<double> ibm = readAccessor(asset, skin["inverseBindMatrices"]);
    std::vector<Mat4> jointMatrix;
    for (std::size_t i = 0; i < skin["joints"].size(); ++i)
        jointMatrix.push_back(multiply(global[skin["joints"][i].get<std::size_t>()], Mat4(&ibm[i * 16], &ibm[i * 16] + 16)));
    const json& attributes = doc["meshes"][0]["primitives"][0]["attributes"];
    const std::vector<double> position = readAccessor(asset, attributes["POSITION"]);
    const std::vector<double> joints = readAccessor(asset, attributes["JOINTS_0"]);
    const std::vector<double> weights = readAccessor(asset, attributes["WEIGHTS_0"]);
    std::vector<double> result(position.size(), 0.0);
    for (std::size_t v = 0; v < position.size() / 3; ++v)
        for (std::size_t k = 0; k < 4; ++k) {
            const Mat4& m = jointMatrix.at(std::size_t(joints[v * 4 + k]));
            for (std::size_t r = 0; r < 3; ++r)
                result[v * 3 + r] += weights[v * 4 + k] * (m[r] * position[v * 3] + m[4 + r] * position[v * 3 + 1] +
                                                           m[8 + r] * position[v * 3 + 2] + m[12 + r]);
        }
    return result;
}

} // namespace gltftest
