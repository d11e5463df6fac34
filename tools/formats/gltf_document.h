// A glTF 2.0 asset opened for reading: the JSON document with its buffers
// loaded (.glb binary chunk, base64 data URIs, or files beside the .gltf),
// and accessors read as numbers. Faults are thrown as GltfError with the
// place in the document ("accessors[2].sparse.indices: ...").
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

struct GltfError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws GltfError("place: reason").
[[noreturn]] void gltfFail(const std::string& place, const std::string& reason);

struct GltfDocument {
    nlohmann::json json;
    std::vector<std::string> buffers; // byteLength bytes of every buffer
    std::size_t fileSize = 0;         // bytes of the file itself
};

// Opens a .glb or .gltf file (told apart by its first bytes). Checks the
// container, that asset.version is 2.x, and that no required extension
// changes geometry in a way this reader does not know (only
// KHR_mesh_quantization and appearance-only extensions are accepted).
// External buffers must be relative paths inside the file's folder.
void loadGltfDocument(const std::string& fileName, GltfDocument& doc);
// The same for the file's bytes; fileName places external buffers.
void parseGltfDocument(std::string bytes, const std::string& fileName, GltfDocument& doc);

// JSON access naming the place of a fault.
const nlohmann::json& gltfMember(const nlohmann::json& object, const char* key, const std::string& place);
// The element `index` of the top-level array `name` ("nodes", ...).
const nlohmann::json& gltfItem(const GltfDocument& doc, const char* name, std::size_t index);
// Size of the top-level array `name`; 0 when absent.
std::size_t gltfCount(const GltfDocument& doc, const char* name);
// A non-negative integer below limit.
std::size_t gltfIndex(const nlohmann::json& value, std::size_t limit, const std::string& place);
// A finite number.
double gltfNumber(const nlohmann::json& value, const std::string& place);
// Exactly n finite numbers into out.
void gltfNumbers(const nlohmann::json& value, std::size_t n, double* out, const std::string& place);

struct GltfAccessor {
    std::vector<double> values; // count × components, element after element
    std::size_t count = 0;
    int components = 0;         // 1 SCALAR, 2-4 VECn, 4/9/16 MATn
    int componentType = 0;      // 5120 ... 5126
    bool normalized = false;
};

// Reads accessor `index`: every component type, normalized integers mapped
// to [0, 1] or [-1, 1], byte strides, matrix column padding, sparse
// substitution, and zero-filled accessors without a buffer view. Every byte
// read is checked against its view and buffer before anything is allocated.
GltfAccessor readGltfAccessor(const GltfDocument& doc, std::size_t index);
