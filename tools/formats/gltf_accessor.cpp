// Accessor reading for gltf_document.h.
#include <cstdint>
#include <cstring>

#include "formats/gltf_document.h"

using nlohmann::json;

namespace {

std::size_t componentSize(int type)
{
    switch (type) {
    case 5120: case 5121: return 1;
    case 5122: case 5123: return 2;
    case 5125: case 5126: return 4;
    default: return 0;
    }
}

// Columns and rows of an element: vectors are one column.
bool elementShape(const std::string& type, int& columns, int& rows)
{
    static const struct { const char* name; int columns, rows; } shapes[] = {
        {"SCALAR", 1, 1}, {"VEC2", 1, 2}, {"VEC3", 1, 3}, {"VEC4", 1, 4}, {"MAT2", 2, 2}, {"MAT3", 3, 3}, {"MAT4", 4, 4}};
    for (const auto& s : shapes)
        if (type == s.name) {
            columns = s.columns;
            rows = s.rows;
            return true;
        }
    return false;
}

double decode(const unsigned char* p, int type, bool normalized)
{
    std::uint32_t u = 0;
    for (std::size_t k = 0; k < componentSize(type); ++k)
        u |= std::uint32_t(p[k]) << (8 * k); // little-endian whatever the machine
    switch (type) {
    case 5120: { const double c = double(std::int8_t(std::uint8_t(u))); return normalized ? std::max(c / 127.0, -1.0) : c; }
    case 5121: return normalized ? double(u) / 255.0 : double(u);
    case 5122: { const double c = double(std::int16_t(std::uint16_t(u))); return normalized ? std::max(c / 32767.0, -1.0) : c; }
    case 5123: return normalized ? double(u) / 65535.0 : double(u);
    case 5125: return normalized ? double(u) / 4294967295.0 : double(u);
    default: { float f; std::memcpy(&f, &u, 4); return double(f); }
    }
}

// Where a run of elements lies: the bytes of its buffer view from `base`.
struct ElementRun {
    const unsigned char* base = nullptr;
    std::size_t stride = 0;
};

// Checks that `count` elements of `elementSize` bytes (or `stride` apart when
// the view gives one) at byteOffset `offset` fit in buffer view `viewIndex`.
ElementRun locate(const GltfDocument& doc, const json& owner, const std::string& place, std::size_t count,
                  std::size_t elementSize, bool strided)
{
    const std::size_t viewIndex = gltfIndex(gltfMember(owner, "bufferView", place), gltfCount(doc, "bufferViews"), place + ".bufferView");
    const std::string viewPlace = "bufferViews[" + std::to_string(viewIndex) + "]";
    const json& view = gltfItem(doc, "bufferViews", viewIndex);
    const std::size_t buffer = gltfIndex(gltfMember(view, "buffer", viewPlace), doc.buffers.size(), viewPlace + ".buffer");
    const std::size_t viewOffset = view.contains("byteOffset") ? gltfIndex(view["byteOffset"], SIZE_MAX, viewPlace + ".byteOffset") : 0;
    const std::size_t viewLength = gltfIndex(gltfMember(view, "byteLength", viewPlace), SIZE_MAX, viewPlace + ".byteLength");
    if (viewOffset > doc.buffers[buffer].size() || viewLength > doc.buffers[buffer].size() - viewOffset)
        gltfFail(viewPlace, "runs past the end of buffer " + std::to_string(buffer));
    ElementRun run;
    run.stride = elementSize;
    if (strided && view.contains("byteStride")) {
        run.stride = gltfIndex(view["byteStride"], 253, viewPlace + ".byteStride");
        if (run.stride < elementSize)
            gltfFail(viewPlace + ".byteStride", std::to_string(run.stride) + " is less than the element size " + std::to_string(elementSize));
    }
    const std::size_t offset = owner.contains("byteOffset") ? gltfIndex(owner["byteOffset"], SIZE_MAX, place + ".byteOffset") : 0;
    // Last element's end, computed without overflow: count ≤ viewLength is
    // checked first since every element takes at least one byte.
    if (offset > viewLength || count > viewLength || (count - 1) * run.stride > viewLength - offset ||
        elementSize > viewLength - offset - (count - 1) * run.stride)
        gltfFail(place, std::to_string(count) + " elements run past the end of " + viewPlace);
    run.base = reinterpret_cast<const unsigned char*>(doc.buffers[buffer].data()) + viewOffset + offset;
    return run;
}

void applySparse(const GltfDocument& doc, const json& sparse, const std::string& place, GltfAccessor& a, std::size_t elementBytes,
                 int rows, std::size_t columnBytes)
{
    const std::size_t count = gltfIndex(gltfMember(sparse, "count", place), a.count + 1, place + ".count");
    if (count == 0)
        gltfFail(place + ".count", "must be at least 1");
    const json& indices = gltfMember(sparse, "indices", place);
    const std::string indexPlace = place + ".indices";
    const json& indexType = gltfMember(indices, "componentType", indexPlace);
    const int it = indexType.is_number_integer() ? indexType.get<int>() : 0;
    if (it != 5121 && it != 5123 && it != 5125)
        gltfFail(indexPlace + ".componentType", "must be 5121, 5123 or 5125");
    const ElementRun at = locate(doc, indices, indexPlace, count, componentSize(it), false);
    const json& values = gltfMember(sparse, "values", place);
    const ElementRun from = locate(doc, values, place + ".values", count, elementBytes, false);
    const std::size_t size = componentSize(a.componentType);
    double previous = -1.0;
    for (std::size_t k = 0; k < count; ++k) {
        const double index = decode(at.base + k * at.stride, it, false);
        if (index <= previous || index >= double(a.count))
            gltfFail(indexPlace, "index " + std::to_string(std::uint64_t(index)) + " at " + std::to_string(k) +
                                     " is not increasing or not below the count " + std::to_string(a.count));
        previous = index;
        const std::size_t e = std::size_t(index);
        for (int c = 0; c < a.components; ++c)
            a.values[e * std::size_t(a.components) + std::size_t(c)] =
                decode(from.base + k * from.stride + std::size_t(c / rows) * columnBytes + std::size_t(c % rows) * size,
                       a.componentType, a.normalized);
    }
}

} // namespace

GltfAccessor readGltfAccessor(const GltfDocument& doc, std::size_t index)
{
    const std::string place = "accessors[" + std::to_string(index) + "]";
    const json& accessor = gltfItem(doc, "accessors", index);
    GltfAccessor a;
    const json& ct = gltfMember(accessor, "componentType", place);
    a.componentType = ct.is_number_integer() ? ct.get<int>() : 0;
    const std::size_t size = componentSize(a.componentType);
    if (size == 0)
        gltfFail(place + ".componentType", ct.dump() + " is not a glTF component type");
    const json& type = gltfMember(accessor, "type", place);
    int columns = 0, rows = 0;
    if (!type.is_string() || !elementShape(type.get<std::string>(), columns, rows))
        gltfFail(place + ".type", type.dump() + " is not a glTF accessor type");
    a.components = columns * rows;
    if (accessor.contains("normalized")) {
        if (!accessor["normalized"].is_boolean())
            gltfFail(place + ".normalized", "expected true or false");
        a.normalized = accessor["normalized"].get<bool>();
        if (a.normalized && a.componentType == 5126)
            gltfFail(place + ".normalized", "floats cannot be normalized");
    }
    a.count = gltfIndex(gltfMember(accessor, "count", place), SIZE_MAX, place + ".count");
    if (a.count == 0)
        gltfFail(place + ".count", "must be at least 1");
    // Matrix columns start on 4-byte boundaries.
    const std::size_t columnBytes = columns > 1 ? (std::size_t(rows) * size + 3) / 4 * 4 : std::size_t(rows) * size;
    const std::size_t elementBytes = std::size_t(columns) * columnBytes;
    if (accessor.contains("bufferView")) {
        const ElementRun run = locate(doc, accessor, place, a.count, elementBytes, true);
        a.values.resize(a.count * std::size_t(a.components));
        double* out = a.values.data();
        for (std::size_t e = 0; e < a.count; ++e)
            for (int c = 0; c < a.components; ++c)
                *out++ = decode(run.base + e * run.stride + std::size_t(c / rows) * columnBytes + std::size_t(c % rows) * size,
                                a.componentType, a.normalized);
    } else {
        // Zeros, usually under sparse values: no mesh can use more of them
        // than the file has bytes, which bounds the allocation.
        if (a.count > doc.fileSize)
            gltfFail(place + ".count", std::to_string(a.count) + " elements without data in a file of " +
                                           std::to_string(doc.fileSize) + " bytes");
        a.values.assign(a.count * std::size_t(a.components), 0.0);
    }
    if (accessor.contains("sparse"))
        applySparse(doc, accessor["sparse"], place + ".sparse", a, elementBytes, rows, columnBytes);
    return a;
}
