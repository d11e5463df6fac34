#include <gtest/gtest.h>

#include <cmath>

#include "formats/gltf_animation.h"
#include "formats/gltf_container.h"
#include "formats/gltf_document.h"
#include "formats/weld.h"
#include "tools/gltf_reader.h"

using nlohmann::json;

namespace {

using gltftest::bytesOf;

// Accessors read from one buffer with one view over all of it, unless the
// case brings its own views.
TEST(GltfAccessor, DecodesEveryComponentTypeStrideMatrixPaddingAndSparse)
{
    const std::string floats = bytesOf<float>({1.5f, -2.0f, 3.0f, 0.25f});
    const struct {
        json accessor;
        std::string buffer;
        json views;
        std::vector<double> expected;
    } cases[] = {
        {{{"componentType", 5126}, {"type", "VEC2"}, {"count", 2}}, floats, json(), {1.5, -2, 3, 0.25}},
        {{{"componentType", 5120}, {"type", "SCALAR"}, {"count", 3}, {"normalized", true}}, bytesOf<std::int8_t>({-128, 127, -127}), json(), {-1, 1, -1}},
        {{{"componentType", 5120}, {"type", "SCALAR"}, {"count", 1}}, bytesOf<std::int8_t>({-5}), json(), {-5}},
        {{{"componentType", 5121}, {"type", "VEC2"}, {"count", 1}, {"normalized", true}}, bytesOf<std::uint8_t>({255, 51}), json(), {1, 0.2}},
        {{{"componentType", 5122}, {"type", "VEC2"}, {"count", 1}, {"normalized", true}}, bytesOf<std::int16_t>({-32768, 32767}), json(), {-1, 1}},
        {{{"componentType", 5123}, {"type", "SCALAR"}, {"count", 2}, {"normalized", true}}, bytesOf<std::uint16_t>({65535, 0}), json(), {1, 0}},
        {{{"componentType", 5123}, {"type", "SCALAR"}, {"count", 1}}, bytesOf<std::uint16_t>({65535}), json(), {65535}},
        {{{"componentType", 5125}, {"type", "SCALAR"}, {"count", 1}}, bytesOf<std::uint32_t>({4000000000u}), json(), {4e9}},
        // Byte stride: the second float of each 8-byte element is skipped.
        {{{"componentType", 5126}, {"type", "SCALAR"}, {"count", 2}}, floats,
         json::array({{{"buffer", 0}, {"byteLength", 16}, {"byteStride", 8}}}), {1.5, 3}},
        // Offsets of view and accessor add up.
        {{{"componentType", 5126}, {"type", "SCALAR"}, {"count", 1}, {"byteOffset", 4}}, floats,
         json::array({{{"buffer", 0}, {"byteOffset", 8}, {"byteLength", 8}}}), {0.25}},
        // Matrix columns of bytes start on 4-byte boundaries.
        {{{"componentType", 5121}, {"type", "MAT2"}, {"count", 1}}, bytesOf<std::uint8_t>({1, 2, 99, 99, 3, 4, 99, 99}), json(), {1, 2, 3, 4}},
        // Sparse values over zeros (no view) and over stored data.
        {{{"componentType", 5126}, {"type", "SCALAR"}, {"count", 3},
          {"sparse", {{"count", 1}, {"indices", {{"bufferView", 0}, {"componentType", 5121}}}, {"values", {{"bufferView", 1}}}}}},
         bytesOf<std::uint8_t>({2, 0, 0, 0}) + bytesOf<float>({7}),
         json::array({{{"buffer", 0}, {"byteLength", 1}}, {{"buffer", 0}, {"byteOffset", 4}, {"byteLength", 4}}}), {0, 0, 7}},
        {{{"componentType", 5126}, {"type", "SCALAR"}, {"count", 2}, {"bufferView", 1},
          {"sparse", {{"count", 1}, {"indices", {{"bufferView", 0}, {"componentType", 5123}}}, {"values", {{"bufferView", 2}}}}}},
         bytesOf<std::uint16_t>({1, 0}) + bytesOf<float>({5, 6, 8}),
         json::array({{{"buffer", 0}, {"byteLength", 2}}, {{"buffer", 0}, {"byteOffset", 4}, {"byteLength", 8}},
                      {{"buffer", 0}, {"byteOffset", 12}, {"byteLength", 4}}}), {5, 8}},
    };
    for (const auto& c : cases) {
        GltfDocument doc;
        doc.buffers = {c.buffer};
        doc.fileSize = 1000;
        doc.json["bufferViews"] = c.views.is_null() ? json::array({{{"buffer", 0}, {"byteLength", c.buffer.size()}}}) : c.views;
        json a = c.accessor;
        if (!a.contains("bufferView") && !a.contains("sparse"))
            a["bufferView"] = 0;
        doc.json["accessors"] = json::array({a});
        const GltfAccessor read = readGltfAccessor(doc, 0);
        ASSERT_EQ(read.values.size(), c.expected.size()) << a.dump();
        for (std::size_t k = 0; k < c.expected.size(); ++k)
            EXPECT_NEAR(read.values[k], c.expected[k], 1e-7) << a.dump();
    }
}

TEST(GltfAccessor, RefusesWhatReachesOutsideItsDataOrBreaksTheRules)
{
    const struct {
        json accessor;
        json view;
        std::size_t fileSize;
        const char* message;
    } cases[] = {
        {{{"componentType", 5126}, {"type", "VEC3"}, {"count", 2}}, {{"buffer", 0}, {"byteLength", 16}}, 100, "accessors[0]: 2 elements run past the end of bufferViews[0]"},
        {{{"componentType", 5126}, {"type", "SCALAR"}, {"count", 1}}, {{"buffer", 0}, {"byteOffset", 12}, {"byteLength", 8}}, 100, "bufferViews[0]: runs past the end of buffer 0"},
        {{{"componentType", 5126}, {"type", "VEC2"}, {"count", 1}}, {{"buffer", 0}, {"byteLength", 16}, {"byteStride", 4}}, 100, "is less than the element size 8"},
        {{{"componentType", 5126}, {"type", "SCALAR"}, {"count", 4294967295u}}, {{"buffer", 0}, {"byteLength", 16}}, 100, "4294967295 elements run past"},
        {{{"componentType", 5124}, {"type", "SCALAR"}, {"count", 1}}, {{"buffer", 0}, {"byteLength", 16}}, 100, "componentType: 5124 is not a glTF component type"},
        {{{"componentType", 5126}, {"type", "VEC5"}, {"count", 1}}, {{"buffer", 0}, {"byteLength", 16}}, 100, "type: \"VEC5\" is not"},
        {{{"componentType", 5126}, {"type", "SCALAR"}, {"count", 1}, {"normalized", true}}, {{"buffer", 0}, {"byteLength", 16}}, 100, "floats cannot be normalized"},
        {{{"componentType", 5126}, {"type", "SCALAR"}, {"count", 0}}, {{"buffer", 0}, {"byteLength", 16}}, 100, "count: must be at least 1"},
        // A forged count without data in a small file reserves nothing.
        {{{"componentType", 5126}, {"type", "VEC3"}, {"count", 2000000000}, {"bufferView", nullptr}}, json(), 100, "2000000000 elements without data in a file of 100 bytes"},
        {{{"componentType", 5126}, {"type", "SCALAR"}, {"count", 3}, {"bufferView", nullptr},
          {"sparse", {{"count", 2}, {"indices", {{"bufferView", 0}, {"componentType", 5121}}}, {"values", {{"bufferView", 0}}}}}},
         {{"buffer", 0}, {"byteLength", 16}}, 100, "sparse.indices: index 1 at 1 is not increasing"},
    };
    for (const auto& c : cases) {
        GltfDocument doc;
        doc.buffers = {bytesOf<std::uint8_t>({1, 1, 0, 0}) + std::string(12, '\0')};
        doc.fileSize = c.fileSize;
        doc.json["bufferViews"] = json::array({c.view});
        json a = c.accessor;
        if (!a.contains("bufferView"))
            a["bufferView"] = 0;
        else if (a["bufferView"].is_null())
            a.erase("bufferView");
        doc.json["accessors"] = json::array({a});
        try {
            readGltfAccessor(doc, 0);
            ADD_FAILURE() << "accepted " << a.dump();
        } catch (const GltfError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(GltfSampler, InterpolatesStepLinearCubicAndRotationsAndSnapsToKeys)
{
    const double s = std::sin(M_PI / 8), co = std::cos(M_PI / 8);
    const struct {
        GltfPath path;
        GltfInterpolation interpolation;
        std::vector<double> times, values;
        double t;
        std::vector<double> expected;
    } cases[] = {
        {GltfPath::Weights, GltfInterpolation::Step, {0, 1, 2}, {0, 10, 20}, 1.5, {10}},
        {GltfPath::Weights, GltfInterpolation::Step, {0, 1, 2}, {0, 10, 20}, -1, {0}},
        {GltfPath::Weights, GltfInterpolation::Linear, {0, 1, 2}, {0, 10, 20}, 0.25, {2.5}},
        {GltfPath::Weights, GltfInterpolation::Linear, {0, 1, 2}, {0, 10, 20}, 7, {20}},
        // A float key time just after the sample still gives the keyed value.
        {GltfPath::Weights, GltfInterpolation::Linear, {0, 1.0000001, 2}, {0, 10, 20}, 1, {10}},
        {GltfPath::Weights, GltfInterpolation::Step, {0, 1.0000001}, {0, 10}, 1, {10}},
        // Hermite: in-tangent, value, out-tangent per key; tangents scale with the interval.
        {GltfPath::Weights, GltfInterpolation::CubicSpline, {0, 2}, {9, 0, 2, 1, 1, 9}, 1, {0.75}},
        {GltfPath::Rotation, GltfInterpolation::Linear, {0, 1}, {0, 0, 0, 1, 0, 0, std::sqrt(0.5), std::sqrt(0.5)}, 0.5, {0, 0, s, co}},
        // The shortest arc: the same rotation written with the opposite sign.
        {GltfPath::Rotation, GltfInterpolation::Linear, {0, 1}, {0, 0, 0, 1, 0, 0, -std::sqrt(0.5), -std::sqrt(0.5)}, 0.5, {0, 0, s, co}},
        {GltfPath::Translation, GltfInterpolation::Linear, {0, 1}, {0, 0, 0, 2, 4, 6}, 0.5, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        GltfChannel channel;
        channel.path = c.path;
        channel.interpolation = c.interpolation;
        channel.times = c.times;
        channel.values = c.values;
        channel.width = c.expected.size();
        std::vector<double> out(c.expected.size());
        sampleGltfChannel(channel, c.t, 1e-3 / 30, out.data());
        for (std::size_t k = 0; k < out.size(); ++k)
            EXPECT_NEAR(out[k], c.expected[k], 1e-12) << "case at t=" << c.t << " value " << c.values[1];
    }
}

TEST(Weld, MergesVerticesThatCoincideThroughoutAndDropsCollapsedTriangles)
{
    // 0 and 2 share a rest position but part in frame 1; 1 and 3 coincide throughout.
    ObjMesh rest{{0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 4, 2, 3, 4, 1, 3, 4}};
    std::vector<double> frames = {0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0,
                                  0, 0, 0, 2, 0, 0, 0, 0, 5, 2, 0, 0, 0, 1, 0};
    EXPECT_EQ(weldVertices(rest, frames, 2), 4u);
    EXPECT_EQ(rest.positions, std::vector<double>({0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(rest.triangles, std::vector<int>({0, 1, 3, 2, 1, 3}));
    EXPECT_EQ(frames, std::vector<double>({0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 5, 0, 1, 0}));
}

TEST(GltfContainer, ReadsBackWhatItPacksAndRefusesBrokenContainers)
{
    std::string json, bin, error;
    bool hasBinary = false;
    ASSERT_TRUE(unpackGlb(packGlb("{}", "abcde"), json, bin, hasBinary, error)) << error;
    EXPECT_EQ(json, "{}  ");
    EXPECT_TRUE(hasBinary && bin == std::string("abcde\0\0\0", 8));
    ASSERT_TRUE(decodeDataUri(dataUri("abcde"), bin, error) && bin == "abcde") << error;
    ASSERT_TRUE(decodeDataUri("data:,a%20b", bin, error) && bin == "a b") << error;
    std::string good = packGlb("{}", "abcd");
    const std::pair<std::string, const char*> cases[] = {
        {good.substr(0, 16), "not a binary glTF"},
        {std::string(good).replace(4, 1, "\1"), "version 1"},
        {std::string(good).replace(8, 1, "\1"), "but the file has 36"},
        {std::string(good).replace(12, 1, "\x7f"), "byte 12: chunk of 127 bytes runs past the end"},
        {std::string(good).replace(16, 1, "B"), "the first chunk is not JSON"},
    };
    for (const auto& [bytes, message] : cases) {
        EXPECT_FALSE(unpackGlb(bytes, json, bin, hasBinary, error));
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
    EXPECT_FALSE(decodeDataUri("data:;base64,ab*d", bin, error));
}

} // namespace
