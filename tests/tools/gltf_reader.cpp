#ifdef TOLVAN_CONVERT
#include "gltf_reader.h"

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace gltftest {

namespace {

using nlohmann::json;
using Mat4 = std::vector<double>; // column-major 4x4

std::uint32_t readUint32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
        v |= std::uint32_t(std::uint8_t(s[at + std::size_t(k)])) << (8 * k);
    return v;
}

std::string decodeBase64(const std::string& text)
{
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        int v = c >= 'A' && c <= 'Z' ? c - 'A' : c >= 'a' && c <= 'z' ? c - 'a' + 26 : c >= '0' && c <= '9' ? c - '0' + 52 : c == '+' ? 62 : c == '/' ? 63 : -1;
        if (v < 0)
            break;
        acc = (acc << 6) | std::uint32_t(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(char((acc >> bits) & 0xFF));
        }
    }
    return out;
}

Mat4 identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Mat4 multiply(const Mat4& a, const Mat4& b)
{
    Mat4 c(16, 0.0);
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k)
                c[std::size_t(col * 4 + row)] += a[std::size_t(k * 4 + row)] * b[std::size_t(col * 4 + k)];
    return c;
}

// T · R · S from translation, unit quaternion (x, y, z, w) and scale.
Mat4 composeTrs(const double* t, const double* q, const double* s)
{
    double x = q[0], y = q[1], z = q[2], w = q[3];
    double r[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w),
                   2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
                   2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)};
    Mat4 m = identity();
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col)
            m[std::size_t(col * 4 + row)] = r[row * 3 + col] * s[col];
        m[std::size_t(12 + row)] = t[row];
    }
    return m;
}

void fill(const json& node, const char* key, double* out, int n)
{
    if (node.contains(key))
        for (int k = 0; k < n; ++k)
            out[k] = node[key][std::size_t(k)].get<double>();
}

} // namespace

bool loadAsset(const std::string& file, Asset& asset, std::string& error)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    std::string bytes = s.str();
    try {
        if (bytes.size() >= 12 && readUint32(bytes, 0) == 0x46546C67u) {
            if (readUint32(bytes, 4) != 2 || readUint32(bytes, 8) != bytes.size()) {
                error = "bad header";
                return false;
            }
            std::size_t at = 12;
            while (at + 8 <= bytes.size()) {
                std::uint32_t length = readUint32(bytes, at), type = readUint32(bytes, at + 4);
                if (at + 8 + length > bytes.size() || length % 4) {
                    error = "bad chunk";
                    return false;
                }
                std::string chunk = bytes.substr(at + 8, length);
                if (type == 0x4E4F534Au)
                    asset.doc = json::parse(chunk);
                else if (type == 0x004E4942u)
                    asset.buffer = chunk;
                at += 8 + length;
            }
        } else {
            asset.doc = json::parse(bytes);
            std::string uri = asset.doc["buffers"][0]["uri"].get<std::string>();
            const std::string prefix = "data:application/octet-stream;base64,";
            if (uri.rfind(prefix, 0) != 0) {
                error = "buffer is not embedded";
                return false;
            }
            asset.buffer = decodeBase64(uri.substr(prefix.size()));
        }
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    if (asset.doc.is_null() || asset.buffer.size() < asset.doc["buffers"][0]["byteLength"].get<std::size_t>()) {
        error = "missing JSON or buffer";
        return false;
    }
    return true;
}

std::vector<double> readAccessor(const Asset& asset, int index, int& components)
{
    const json& a = asset.doc["accessors"][std::size_t(index)];
    const json& view = asset.doc["bufferViews"][a["bufferView"].get<std::size_t>()];
    static const std::map<std::string, int> widths = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4}, {"MAT4", 16}};
    components = widths.at(a["type"].get<std::string>());
    int type = a["componentType"].get<int>();
    std::size_t size = type == 5126 || type == 5125 ? 4 : type == 5123 ? 2 : 1;
    std::size_t stride = view.value("byteStride", size * std::size_t(components));
    std::size_t base = view.value("byteOffset", std::size_t(0)) + a.value("byteOffset", std::size_t(0));
    std::size_t count = a["count"].get<std::size_t>();
    if (base + (count - 1) * stride + size * std::size_t(components) > asset.buffer.size())
        throw std::runtime_error("accessor past the buffer");
    std::vector<double> out;
    for (std::size_t e = 0; e < count; ++e)
        for (std::size_t c = 0; c < std::size_t(components); ++c) {
            const char* p = asset.buffer.data() + base + e * stride + c * size;
            if (type == 5126) {
                float f;
                std::memcpy(&f, p, 4);
                out.push_back(f);
            } else if (type == 5125) {
                std::uint32_t v;
                std::memcpy(&v, p, 4);
                out.push_back(v);
            } else if (type == 5123) {
                std::uint16_t v;
                std::memcpy(&v, p, 2);
                out.push_back(v);
            } else {
                out.push_back(std::uint8_t(*p));
            }
        }
    return out;
}

std::vector<double> skinnedPositions(const Asset& asset, int frame)
{
    const json& doc = asset.doc;
    const std::size_t numNodes = doc["nodes"].size();
    // Local transformations: the node's own TRS, replaced by the animation's
    // sample of this frame where a channel targets it.
    std::vector<double> t(numNodes * 3, 0.0), q(numNodes * 4, 0.0), s(numNodes * 3, 1.0);
    for (std::size_t n = 0; n < numNodes; ++n) {
        q[n * 4 + 3] = 1.0;
        if (doc["nodes"][n].contains("matrix"))
            throw std::runtime_error("matrix nodes are not expected");
        fill(doc["nodes"][n], "translation", &t[n * 3], 3);
        fill(doc["nodes"][n], "rotation", &q[n * 4], 4);
        fill(doc["nodes"][n], "scale", &s[n * 3], 3);
    }
    if (doc.contains("animations")) {
        const json& anim = doc["animations"][0];
        for (const json& channel : anim["channels"]) {
            const json& sampler = anim["samplers"][channel["sampler"].get<std::size_t>()];
            std::size_t node = channel["target"]["node"].get<std::size_t>();
            std::string path = channel["target"]["path"].get<std::string>();
            int width = 0;
            std::vector<double> out = readAccessor(asset, sampler["output"].get<int>(), width);
            const double* sample = &out.at(std::size_t(frame) * std::size_t(width));
            double* target = path == "translation" ? &t[node * 3] : path == "rotation" ? &q[node * 4] : &s[node * 3];
            std::copy(sample, sample + width, target);
        }
    }
    // Global transformations from the scene roots down.
    std::vector<Mat4> global(numNodes);
    std::vector<std::pair<std::size_t, Mat4>> stack;
    for (const json& root : doc["scenes"][0]["nodes"])
        stack.push_back({root.get<std::size_t>(), identity()});
    while (!stack.empty()) {
        auto [n, parent] = stack.back();
        stack.pop_back();
        global[n] = multiply(parent, composeTrs(&t[n * 3], &q[n * 4], &s[n * 3]));
        if (doc["nodes"][n].contains("children"))
            for (const json& c : doc["nodes"][n]["children"])
                stack.push_back({c.get<std::size_t>(), global[n]});
    }
    const json& skin = doc["skins"][0];
    int width = 0;
    std::vector<double> ibm = readAccessor(asset, skin["inverseBindMatrices"].get<int>(), width);
    std::vector<Mat4> jointMatrix;
    for (std::size_t i = 0; i < skin["joints"].size(); ++i) {
        Mat4 inverse(ibm.begin() + long(i * 16), ibm.begin() + long(i * 16 + 16));
        jointMatrix.push_back(multiply(global[skin["joints"][i].get<std::size_t>()], inverse));
    }
    const json& attributes = doc["meshes"][0]["primitives"][0]["attributes"];
    std::vector<double> position = readAccessor(asset, attributes["POSITION"].get<int>(), width);
    std::vector<double> joints = readAccessor(asset, attributes["JOINTS_0"].get<int>(), width);
    std::vector<double> weights = readAccessor(asset, attributes["WEIGHTS_0"].get<int>(), width);
    std::vector<double> result(position.size(), 0.0);
    for (std::size_t v = 0; v < position.size() / 3; ++v)
        for (std::size_t k = 0; k < 4; ++k) {
            double w = weights[v * 4 + k];
            const Mat4& m = jointMatrix.at(std::size_t(joints[v * 4 + k]));
            for (std::size_t r = 0; r < 3; ++r)
                result[v * 3 + r] += w * (m[r] * position[v * 3] + m[4 + r] * position[v * 3 + 1] + m[8 + r] * position[v * 3 + 2] + m[12 + r]);
        }
    return result;
}

} // namespace gltftest
#endif
