#include "formats/gltf_document.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "formats/gltf_container.h"

using nlohmann::json;

void gltfFail(const std::string& place, const std::string& reason)
{
    throw GltfError(place.empty() ? reason : place + ": " + reason);
}

const json& gltfMember(const json& object, const char* key, const std::string& place)
{
    if (!object.is_object())
        gltfFail(place, "expected an object");
    auto it = object.find(key);
    if (it == object.end())
        gltfFail(place, std::string("'") + key + "' is missing");
    return *it;
}

std::size_t gltfCount(const GltfDocument& doc, const char* name)
{
    auto it = doc.json.find(name);
    if (it == doc.json.end())
        return 0;
    if (!it->is_array())
        gltfFail(name, "expected an array");
    return it->size();
}

const json& gltfItem(const GltfDocument& doc, const char* name, std::size_t index)
{
    if (index >= gltfCount(doc, name))
        gltfFail(name, "has no element " + std::to_string(index));
    const json& item = doc.json[name][index];
    if (!item.is_object())
        gltfFail(std::string(name) + "[" + std::to_string(index) + "]", "expected an object");
    return item;
}

std::size_t gltfIndex(const json& value, std::size_t limit, const std::string& place)
{
    if (!value.is_number_integer() || (value.is_number_integer() && !value.is_number_unsigned() && value.get<long long>() < 0))
        gltfFail(place, "expected a non-negative integer");
    const std::uint64_t v = value.get<std::uint64_t>();
    if (v >= limit)
        gltfFail(place, std::to_string(v) + " is out of range (" + std::to_string(limit) + " available)");
    return std::size_t(v);
}

double gltfNumber(const json& value, const std::string& place)
{
    if (!value.is_number() || !std::isfinite(value.get<double>()))
        gltfFail(place, "expected a finite number");
    return value.get<double>();
}

void gltfNumbers(const json& value, std::size_t n, double* out, const std::string& place)
{
    if (!value.is_array() || value.size() != n)
        gltfFail(place, "expected " + std::to_string(n) + " numbers");
    for (std::size_t k = 0; k < n; ++k)
        out[k] = gltfNumber(value[k], place + "[" + std::to_string(k) + "]");
}

namespace {

std::string readFileBytes(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw GltfError(std::string("cannot open: ") + std::strerror(errno));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw GltfError("cannot read");
    return bytes;
}

// Extensions a file may require without changing the mesh or its motion.
bool acceptedExtension(const std::string& name)
{
    static const char* const prefixes[] = {"KHR_materials_", "KHR_texture_", "EXT_texture_", "MSFT_texture_"};
    if (name == "KHR_mesh_quantization" || name == "KHR_lights_punctual")
        return true;
    for (const char* p : prefixes)
        if (name.rfind(p, 0) == 0)
            return true;
    return false;
}

// A buffer stored in a file named by a relative URI beside the .gltf.
std::string readExternalBuffer(const std::string& fileName, const std::string& uri, std::size_t length, const std::string& place)
{
    std::string path;
    std::string ignored;
    if (!decodeDataUri("data:," + uri, path, ignored))
        gltfFail(place, "bad percent escape in uri '" + uri + "'");
    const std::filesystem::path relative(path);
    if (path.empty() || relative.is_absolute() || uri.find(':') != std::string::npos)
        gltfFail(place, "uri '" + uri + "' is not a path relative to the file");
    for (const auto& part : relative)
        if (part == "..")
            gltfFail(place, "uri '" + uri + "' leaves the file's folder");
    const std::filesystem::path full = std::filesystem::path(fileName).parent_path() / relative;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(full, ec))
        gltfFail(place, "buffer file " + full.string() + " does not exist");
    const std::uintmax_t size = std::filesystem::file_size(full, ec);
    if (ec || size < length)
        gltfFail(place, "buffer file " + full.string() + " is shorter than byteLength " + std::to_string(length));
    std::string bytes;
    try {
        bytes = readFileBytes(full.string());
    } catch (const GltfError& e) {
        gltfFail(place, full.string() + ": " + e.what());
    }
    bytes.resize(length);
    return bytes;
}

void loadBuffers(const std::string& fileName, GltfDocument& doc, std::string& binary, bool hasBinary)
{
    const std::size_t n = gltfCount(doc, "buffers");
    for (std::size_t b = 0; b < n; ++b) {
        const std::string place = "buffers[" + std::to_string(b) + "]";
        const json& buffer = gltfItem(doc, "buffers", b);
        const std::size_t length = gltfIndex(gltfMember(buffer, "byteLength", place), SIZE_MAX, place + ".byteLength");
        std::string bytes;
        auto uri = buffer.find("uri");
        if (uri == buffer.end()) {
            if (b != 0 || !hasBinary)
                gltfFail(place, "has no uri and there is no binary chunk");
            bytes = std::move(binary);
        } else if (!uri->is_string()) {
            gltfFail(place + ".uri", "expected a string");
        } else if (uri->get<std::string>().rfind("data:", 0) == 0) {
            std::string reason;
            if (!decodeDataUri(uri->get<std::string>(), bytes, reason))
                gltfFail(place + ".uri", reason);
        } else {
            bytes = readExternalBuffer(fileName, uri->get<std::string>(), length, place + ".uri");
        }
        if (bytes.size() < length)
            gltfFail(place, "holds " + std::to_string(bytes.size()) + " bytes, fewer than byteLength " + std::to_string(length));
        bytes.resize(length);
        doc.buffers.push_back(std::move(bytes));
    }
}

} // namespace

void loadGltfDocument(const std::string& fileName, GltfDocument& doc)
{
    parseGltfDocument(readFileBytes(fileName), fileName, doc);
}

void parseGltfDocument(std::string bytes, const std::string& fileName, GltfDocument& doc)
{
    doc = GltfDocument();
    std::string text, binary, reason;
    bool hasBinary = false;
    doc.fileSize = bytes.size();
    if (looksLikeGlb(bytes)) {
        if (!unpackGlb(bytes, text, binary, hasBinary, reason))
            throw GltfError(reason);
    } else {
        text.swap(bytes);
    }
    try {
        doc.json = json::parse(text);
    } catch (const json::parse_error& e) {
        std::string what = e.what();
        const std::size_t cut = what.find("] ");
        throw GltfError("JSON " + (cut == std::string::npos ? what : what.substr(cut + 2)));
    }
    if (!doc.json.is_object())
        throw GltfError("the JSON document is not an object");
    const json& version = gltfMember(gltfMember(doc.json, "asset", ""), "version", "asset");
    if (!version.is_string() || version.get<std::string>().rfind("2.", 0) != 0)
        gltfFail("asset.version", "glTF " + version.dump() + " (only 2.x is read)");
    if (auto required = doc.json.find("extensionsRequired"); required != doc.json.end()) {
        if (!required->is_array())
            gltfFail("extensionsRequired", "expected an array");
        for (const json& name : *required)
            if (!name.is_string() || !acceptedExtension(name.get<std::string>()))
                gltfFail("extensionsRequired", "the file requires " + name.dump() +
                                                   ", which changes how the mesh is stored and cannot be read here");
    }
    loadBuffers(fileName, doc, binary, hasBinary);
}
