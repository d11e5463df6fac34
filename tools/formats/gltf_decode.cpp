#include "formats/gltf_decode.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

using nlohmann::json;

namespace {

using Mat4 = std::vector<double>; // column-major 4x4

std::uint32_t readUint32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k)
        v |= std::uint32_t(std::uint8_t(s.at(at + k))) << (8 * k);
    return v;
}

std::string decodeBase64(const std::string& text)
{
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        const std::size_t d = digits.find(c);
        if (d == std::string::npos)
            break; // padding ends the data
        acc = (acc << 6) | std::uint32_t(d);
        if ((bits += 6) >= 8)
            out.push_back(char((acc >> (bits -= 8)) & 0xFF));
    }
    return out;
}

Mat4 multiply(const Mat4& a, const Mat4& b)
{
    Mat4 c(16, 0.0);
    for (std::size_t col = 0; col < 4; ++col)
        for (std::size_t row = 0; row < 4; ++row)
            for (std::size_t k = 0; k < 4; ++k)
                c[col * 4 + row] += a[k * 4 + row] * b[col * 4 + k];
    return c;
}

// T · R · S from translation, unit quaternion (x, y, z, w) and scale.
Mat4 composeTrs(const double* t, const double* q, const double* s)
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

// Local transformations of every node at one sample: x, y, z translation,
// quaternion and scale per node.
void localTransforms(const GltfAsset& asset, int sample, std::vector<double>& t, std::vector<double>& q, std::vector<double>& s)
{
    const json& doc = asset.doc;
    const std::size_t numNodes = doc.at("nodes").size();
    t.assign(numNodes * 3, 0.0);
    q.assign(numNodes * 4, 0.0);
    s.assign(numNodes * 3, 1.0);
    const char* paths[3] = {"translation", "rotation", "scale"};
    double* starts[3] = {t.data(), q.data(), s.data()};
    for (std::size_t n = 0; n < numNodes; ++n) {
        q[n * 4 + 3] = 1.0;
        if (doc["nodes"][n].contains("matrix"))
            throw std::runtime_error("node " + std::to_string(n) + " has a matrix (not read here)");
        for (std::size_t p = 0; p < 3; ++p)
            if (doc["nodes"][n].contains(paths[p]))
                for (std::size_t k = 0; k < (p == 1 ? 4u : 3u); ++k)
                    starts[p][n * (p == 1 ? 4 : 3) + k] = doc["nodes"][n][paths[p]].at(k).get<double>();
    }
    if (!doc.contains("animations"))
        return;
    const json& anim = doc["animations"].at(0);
    for (const json& channel : anim.at("channels")) {
        const std::string path = channel.at("target").at("path");
        const std::size_t node = channel["target"].at("node"), p = path == "translation" ? 0 : path == "rotation" ? 1 : 2;
        const std::size_t width = p == 1 ? 4 : 3;
        if (node >= numNodes || (p == 2 && path != "scale"))
            throw std::runtime_error("animation channel with target " + path + " of node " + std::to_string(node));
        const std::vector<double> out = gltfAccessor(asset, anim.at("samplers").at(channel.at("sampler").get<std::size_t>()).at("output"));
        if ((std::size_t(sample) + 1) * width > out.size())
            throw std::runtime_error("animation channel without sample " + std::to_string(sample));
        std::copy(&out[std::size_t(sample) * width], &out[std::size_t(sample) * width] + width, starts[p] + node * width);
    }
}

} // namespace

GltfAsset decodeGltf(const std::string& bytes)
{
    GltfAsset asset;
    if (bytes.size() >= 12 && readUint32(bytes, 0) == 0x46546C67u) { // "glTF"
        if (readUint32(bytes, 4) != 2 || readUint32(bytes, 8) != bytes.size())
            throw std::runtime_error("bad .glb header");
        std::string text;
        for (std::size_t at = 12; at + 8 <= bytes.size();) {
            const std::uint32_t length = readUint32(bytes, at), type = readUint32(bytes, at + 4);
            if (at + 8 + std::size_t(length) > bytes.size() || length % 4)
                throw std::runtime_error("bad .glb chunk at byte " + std::to_string(at));
            (type == 0x4E4F534Au ? text : asset.buffer) = bytes.substr(at + 8, length); // JSON or BIN
            at += 8 + std::size_t(length);
        }
        asset.doc = json::parse(text);
    } else {
        asset.doc = json::parse(bytes);
        const std::string uri = asset.doc.at("buffers").at(0).at("uri"), prefix = "data:application/octet-stream;base64,";
        if (uri.rfind(prefix, 0) != 0)
            throw std::runtime_error("the buffer is not embedded");
        asset.buffer = decodeBase64(uri.substr(prefix.size()));
    }
    if (asset.buffer.size() < asset.doc.at("buffers").at(0).at("byteLength").get<std::size_t>())
        throw std::runtime_error("the buffer is shorter than its byteLength");
    return asset;
}

std::vector<double> gltfAccessor(const GltfAsset& asset, int index)
{
    const json& a = asset.doc.at("accessors").at(std::size_t(index));
    const json& view = asset.doc.at("bufferViews").at(a.at("bufferView").get<std::size_t>());
    const std::string type = a.at("type");
    const std::size_t components = type == "SCALAR" ? 1 : type == "MAT4" ? 16 : type.size() == 4 ? std::size_t(type[3] - '0') : 0;
    const int kind = a.at("componentType");
    const std::size_t size = kind == 5126 || kind == 5125 ? 4 : kind == 5123 ? 2 : 1;
    const std::size_t stride = view.value("byteStride", size * components), count = a.at("count");
    const std::size_t base = view.value("byteOffset", std::size_t(0)) + a.value("byteOffset", std::size_t(0));
    if ((kind != 5126 && kind != 5125 && kind != 5123 && kind != 5121) || components < 1 || components > 16)
        throw std::runtime_error("accessor " + std::to_string(index) + " has a type not read here");
    if (count > 0 && base + (count - 1) * stride + size * components > asset.buffer.size())
        throw std::runtime_error("accessor " + std::to_string(index) + " reaches past the buffer");
    std::vector<double> out;
    out.reserve(count * components);
    for (std::size_t e = 0; e < count; ++e)
        for (std::size_t c = 0; c < components; ++c) {
            const char* p = asset.buffer.data() + base + e * stride + c * size;
            float f;
            std::uint32_t u = 0;
            if (kind == 5126) {
                std::memcpy(&f, p, 4);
                out.push_back(double(f));
            } else {
                std::memcpy(&u, p, size); // little-endian host
                out.push_back(double(u));
            }
        }
    return out;
}

std::vector<double> gltfSkinnedPositions(const GltfAsset& asset, int sample)
{
    const json& doc = asset.doc;
    std::vector<double> t, q, s;
    localTransforms(asset, sample, t, q, s);
    const std::size_t numNodes = doc["nodes"].size();
    // Global transformations from the scene roots down.
    std::vector<Mat4> global(numNodes);
    std::vector<std::pair<std::size_t, Mat4>> stack;
    for (const json& root : doc.at("scenes").at(doc.value("scene", 0)).at("nodes"))
        stack.push_back({root.get<std::size_t>(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}});
    for (std::size_t visits = 0; !stack.empty(); ++visits) {
        auto [n, parent] = stack.back();
        stack.pop_back();
        if (n >= numNodes || visits > numNodes)
            throw std::runtime_error("the node hierarchy is not a forest");
        global[n] = multiply(parent, composeTrs(&t[n * 3], &q[n * 4], &s[n * 3]));
        for (const json& c : doc["nodes"][n].value("children", json::array()))
            stack.push_back({c.get<std::size_t>(), global[n]});
    }
    const json& skin = doc.at("skins").at(0);
    const std::vector<double> ibm = gltfAccessor(asset, skin.at("inverseBindMatrices"));
    std::vector<Mat4> jointMatrix;
    for (std::size_t i = 0; i < skin.at("joints").size(); ++i) {
        const std::size_t node = skin["joints"][i];
        if (node >= numNodes || global[node].empty() || ibm.size() < (i + 1) * 16)
            throw std::runtime_error("skin joint " + std::to_string(i) + " is not in the scene");
        jointMatrix.push_back(multiply(global[node], Mat4(&ibm[i * 16], &ibm[i * 16] + 16)));
    }
    const json& attributes = doc.at("meshes").at(0).at("primitives").at(0).at("attributes");
    const std::vector<double> position = gltfAccessor(asset, attributes.at("POSITION"));
    const std::vector<double> joints = gltfAccessor(asset, attributes.at("JOINTS_0"));
    const std::vector<double> weights = gltfAccessor(asset, attributes.at("WEIGHTS_0"));
    const std::size_t nV = position.size() / 3;
    if (joints.size() != nV * 4 || weights.size() != nV * 4)
        throw std::runtime_error("joints or weights do not match the positions");
    std::vector<double> result(position.size(), 0.0);
    for (std::size_t v = 0; v < nV; ++v)
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t j = std::size_t(joints[v * 4 + k]);
            if (j >= jointMatrix.size())
                throw std::runtime_error("vertex " + std::to_string(v) + " names joint " + std::to_string(j));
            const Mat4& m = jointMatrix[j];
            for (std::size_t r = 0; r < 3; ++r)
                result[v * 3 + r] += weights[v * 4 + k] * (m[r] * position[v * 3] + m[4 + r] * position[v * 3 + 1] +
                                                           m[8 + r] * position[v * 3 + 2] + m[12 + r]);
        }
    return result;
}
