#include "formats/gltf_container.h"

#include <cstdint>

namespace {

void appendUint32(std::string& out, std::uint32_t v)
{
    // The container is little-endian whatever the machine.
    for (int k = 0; k < 4; ++k)
        out.push_back(char((v >> (8 * k)) & 0xFF));
}

} // namespace

std::string packGlb(const std::string& json, const std::string& buffer)
{
    std::string jsonChunk = json, binChunk = buffer;
    while (jsonChunk.size() % 4)
        jsonChunk.push_back(' ');
    while (binChunk.size() % 4)
        binChunk.push_back('\0');
    std::size_t total = 12 + 8 + jsonChunk.size() + (binChunk.empty() ? 0 : 8 + binChunk.size());
    std::string out;
    out.reserve(total);
    appendUint32(out, 0x46546C67u); // "glTF"
    appendUint32(out, 2u);
    appendUint32(out, std::uint32_t(total));
    appendUint32(out, std::uint32_t(jsonChunk.size()));
    appendUint32(out, 0x4E4F534Au); // "JSON"
    out += jsonChunk;
    if (!binChunk.empty()) {
        appendUint32(out, std::uint32_t(binChunk.size()));
        appendUint32(out, 0x004E4942u); // "BIN\0"
        out += binChunk;
    }
    return out;
}

std::string dataUri(const std::string& bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out = "data:application/octet-stream;base64,";
    out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        std::uint32_t n = std::uint32_t(std::uint8_t(bytes[i])) << 16 | std::uint32_t(std::uint8_t(bytes[i + 1])) << 8 |
                          std::uint32_t(std::uint8_t(bytes[i + 2]));
        for (int k = 3; k >= 0; --k)
            out.push_back(alphabet[(n >> (6 * k)) & 63]);
    }
    if (i < bytes.size()) {
        std::uint32_t n = std::uint32_t(std::uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            n |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
        out.push_back(alphabet[(n >> 18) & 63]);
        out.push_back(alphabet[(n >> 12) & 63]);
        out.push_back(i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}
