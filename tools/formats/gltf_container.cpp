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

namespace {

std::uint32_t readUint32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k)
        v |= std::uint32_t(std::uint8_t(s[at + k])) << (8 * k);
    return v;
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    return c == '+' || c == '-' ? 62 : c == '/' || c == '_' ? 63 : -1;
}

int hexValue(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

} // namespace

bool looksLikeGlb(const std::string& file)
{
    return file.size() >= 4 && readUint32(file, 0) == 0x46546C67u;
}

bool unpackGlb(const std::string& file, std::string& json, std::string& binary, bool& hasBinary, std::string& error)
{
    hasBinary = false;
    if (file.size() < 20 || !looksLikeGlb(file)) {
        error = "not a binary glTF file (no 'glTF' header)";
        return false;
    }
    if (readUint32(file, 4) != 2) {
        error = "binary glTF version " + std::to_string(readUint32(file, 4)) + " (only 2 is read)";
        return false;
    }
    if (readUint32(file, 8) != file.size()) {
        error = "header gives " + std::to_string(readUint32(file, 8)) + " bytes but the file has " + std::to_string(file.size());
        return false;
    }
    int chunk = 0;
    for (std::size_t at = 12; at < file.size(); ++chunk) {
        if (file.size() - at < 8) {
            error = "byte " + std::to_string(at) + ": chunk header cut short";
            return false;
        }
        const std::uint32_t length = readUint32(file, at), type = readUint32(file, at + 4);
        if (length > file.size() - at - 8) {
            error = "byte " + std::to_string(at) + ": chunk of " + std::to_string(length) + " bytes runs past the end";
            return false;
        }
        if (chunk == 0 && type != 0x4E4F534Au) {
            error = "byte 12: the first chunk is not JSON";
            return false;
        }
        if (chunk == 0)
            json = file.substr(at + 8, length);
        else if (chunk == 1 && type == 0x004E4942u) {
            binary = file.substr(at + 8, length);
            hasBinary = true;
        } else if (type == 0x4E4F534Au || type == 0x004E4942u) {
            error = "byte " + std::to_string(at) + ": a second " + (type == 0x4E4F534Au ? "JSON" : "binary") + " chunk";
            return false;
        }
        at += 8 + std::size_t(length); // unknown chunk types are skipped
    }
    if (chunk == 0) {
        error = "byte 12: no JSON chunk";
        return false;
    }
    return true;
}

bool decodeDataUri(const std::string& uri, std::string& bytes, std::string& error)
{
    bytes.clear();
    const std::size_t comma = uri.find(',');
    if (uri.rfind("data:", 0) != 0 || comma == std::string::npos) {
        error = "not a data URI";
        return false;
    }
    const std::string header = uri.substr(5, comma - 5);
    const bool base64 = header.size() >= 7 && header.compare(header.size() - 7, 7, ";base64") == 0;
    std::uint32_t acc = 0;
    int bits = 0;
    bool padding = false;
    bytes.reserve((uri.size() - comma) / 4 * 3 + 3);
    for (std::size_t i = comma + 1; i < uri.size(); ++i) {
        const char c = uri[i];
        if (!base64) {
            int hi = 0, lo = 0;
            if (c == '%' && (i + 2 >= uri.size() || (hi = hexValue(uri[i + 1])) < 0 || (lo = hexValue(uri[i + 2])) < 0)) {
                error = "bad percent escape at character " + std::to_string(i);
                return false;
            }
            bytes.push_back(c == '%' ? char(hi * 16 + lo) : c);
            i += c == '%' ? 2 : 0;
            continue;
        }
        const int v = base64Value(c);
        if (c == '=' ) {
            padding = true;
            continue;
        }
        if (v < 0 || padding) {
            error = "bad base64 character at character " + std::to_string(i);
            return false;
        }
        acc = (acc << 6) | std::uint32_t(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(char((acc >> bits) & 0xFF));
        }
    }
    return true;
}
