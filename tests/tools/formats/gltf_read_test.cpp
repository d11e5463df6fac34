#include <gtest/gtest.h>

#include <cmath>
#include <functional>

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
    std::vector<std::size_t> map;
    EXPECT_EQ(weldVertices(rest, frames, 2, &map), 4u);
    EXPECT_EQ(map, std::vector<std::size_t>({0, 1, 2, 1, 3}));
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


// A small asset exercising what the sampler must get right: a root placed by
// a matrix, a joint rotated about z from 0 to 90 degrees over keys at 0, 0.5
// and 1 s, a skinned mesh (whose own translation must not apply) with a
// sparse morph target animated by STEP weights, and an unskinned quantized
// mesh under the joint.
struct TestAsset {
    json doc;
    std::string bin;

    int add(const std::string& bytes, json accessor)
    {
        while (bin.size() % 4)
            bin.push_back('\0');
        doc["bufferViews"].push_back({{"buffer", 0}, {"byteOffset", bin.size()}, {"byteLength", bytes.size()}});
        bin += bytes;
        accessor["bufferView"] = doc["bufferViews"].size() - 1;
        doc["accessors"].push_back(accessor);
        return int(doc["accessors"].size()) - 1;
    }
    template <typename T>
    int add(std::initializer_list<T> values, int componentType, const char* type, std::size_t count, json extra = json::object())
    {
        extra.update({{"componentType", componentType}, {"type", type}, {"count", count}});
        return add(gltftest::bytesOf(values), extra);
    }

    TestAsset()
    {
        const float h = float(std::sqrt(0.5)), c = float(std::cos(M_PI / 8)), s = float(std::sin(M_PI / 8));
        doc = {{"asset", {{"version", "2.0"}}}, {"extensionsRequired", {"KHR_mesh_quantization"}},
               {"bufferViews", json::array()}, {"accessors", json::array()}};
        const int times = add<float>({0, 0.5f, 1}, 5126, "SCALAR", 3);
        const int rotations = add<float>({0, 0, 0, 1, 0, 0, s, c, 0, 0, h, h}, 5126, "VEC4", 3);
        const int weights = add<float>({0, 1, 0.5f}, 5126, "SCALAR", 3);
        // Vertices A (1,1,0) on the joint, B (2,1,0) on the joint, C (0,1,0) half and half.
        const int positions = add<float>({1, 1, 0, 2, 1, 0, 0, 1, 0}, 5126, "VEC3", 3);
        const int joints = add<std::uint8_t>({1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0}, 5121, "VEC4", 3);
        const int jointWeights = add<std::uint8_t>({255, 0, 0, 0, 255, 0, 0, 0, 128, 127, 0, 0}, 5121, "VEC4", 3, {{"normalized", true}});
        const int indices = add<std::uint16_t>({0, 1, 2}, 5123, "SCALAR", 3);
        const int ibm = add<float>({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, -1, 0, 1},
                                   5126, "MAT4", 2);
        const int sparseIndex = add<std::uint8_t>({1}, 5121, "SCALAR", 1);
        const int sparseValue = add<float>({0, 0, 1}, 5126, "VEC3", 1);
        doc["accessors"][std::size_t(sparseIndex)].erase("bufferView"); // the sparse parts are views, not accessors
        json target = {{"componentType", 5126}, {"type", "VEC3"}, {"count", 3},
                       {"sparse", {{"count", 1}, {"indices", {{"bufferView", sparseIndex}, {"componentType", 5121}}},
                                   {"values", {{"bufferView", sparseValue}}}}}};
        doc["accessors"].push_back(target);
        const int quantized = add<std::uint8_t>({1, 0, 0, 0, 1, 0, 0, 0, 1}, 5121, "VEC3", 3);
        doc["nodes"] = json::array({
            {{"name", "root"}, {"matrix", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1}}, {"children", {1}}},
            {{"name", "joint"}, {"translation", {1, 0, 0}}, {"children", {3}}},
            {{"name", "body"}, {"mesh", 0}, {"skin", 0}, {"translation", {5, 5, 5}}},
            {{"name", "tag"}, {"mesh", 1}, {"translation", {0, 0, 1}}},
        });
        doc["skins"] = json::array({{{"joints", {0, 1}}, {"inverseBindMatrices", ibm}}});
        doc["meshes"] = json::array({
            {{"name", "Body"}, {"weights", {0}},
             {"primitives", {{{"attributes", {{"POSITION", positions}, {"JOINTS_0", joints}, {"WEIGHTS_0", jointWeights}}},
                              {"indices", indices}, {"targets", {{{"POSITION", doc["accessors"].size() - 2}}}}}}}},
            {{"name", "Tag"}, {"primitives", {{{"attributes", {{"POSITION", quantized}}}, {"mode", 4}}}}},
        });
        doc["animations"] = json::array({
            {{"name", "Turn"}, {"samplers", {{{"input", times}, {"output", rotations}}}},
             {"channels", {{{"sampler", 0}, {"target", {{"node", 1}, {"path", "rotation"}}}}}}},
            {{"name", "Grow"}, {"samplers", {{{"input", times}, {"output", weights}, {"interpolation", "STEP"}}}},
             {"channels", {{{"sampler", 0}, {"target", {{"node", 2}, {"path", "weights"}}}}}}},
        });
        doc["scenes"] = json::array({{{"nodes", {0, 2}}}});
    }

    std::string glb() const
    {
        json d = doc;
        d["buffers"] = json::array({{{"byteLength", bin.size()}}});
        return packGlb(d.dump(), bin);
    }
};

// Expected positions of the body (A, B, C) and the tag at angle θ with morph weight w.
std::vector<double> body(double theta, double w)
{
    const double cs = std::cos(theta), sn = std::sin(theta), a = 128.0 / 255, b = 127.0 / 255;
    return {1, 1, 0, 1 + cs, 1 + sn, w, a * 0 + b * (1 - cs), a * 1 + b * (1 - sn), 0};
}
std::vector<double> tag(double theta)
{
    const double cs = std::cos(theta), sn = std::sin(theta);
    return {1 + cs, 1 + sn, 1, 1 - sn, 1 + cs, 1, 1, 1, 2};
}

void expectNear(const std::vector<double>& got, const double* expected, const std::string& what)
{
    for (std::size_t k = 0; k < got.size(); ++k)
        EXPECT_NEAR(got[k], expected[k], 1e-6) << what << " at " << k;
}

TEST(GltfImport, SamplesSkinsMorphsAndHierarchyFromEveryContainer)
{
    ScratchFolder dir;
    TestAsset asset;
    json embedded = asset.doc, external = asset.doc;
    embedded["buffers"] = json::array({{{"byteLength", asset.bin.size()}, {"uri", dataUri(asset.bin)}}});
    external["buffers"] = json::array({{{"byteLength", asset.bin.size()}, {"uri", "sub%20dir.bin"}}});
    dir.file("sub dir.bin", asset.bin);
    const std::string files[] = {dir.file("a.glb", asset.glb()), dir.file("b.gltf", embedded.dump()), dir.file("c.gltf", external.dump())};
    for (const std::string& file : files) {
        GltfSampled out;
        std::string error;
        ASSERT_TRUE(sampleGltfFile(file, {"all", {"Body"}, 0.0}, out, error)) << error;
        ASSERT_EQ(out.numFrames, 3u);
        EXPECT_EQ(out.fps, 2.0);
        EXPECT_EQ(out.rest.triangles, std::vector<int>({0, 1, 2}));
        expectNear(out.rest.positions, body(0, 0).data(), file + " rest");
        const double w[3] = {0, 1, 0.5};
        for (std::size_t f = 0; f < 3; ++f)
            expectNear(std::vector<double>(&out.frames[f * 9], &out.frames[f * 9 + 9]), body(double(f) * M_PI / 4, w[f]).data(), file);
        // The unskinned mesh follows its node; rest is the static placement.
        // Every animated mesh, or those named, joined in node order.
        for (const std::vector<std::string>& meshes : {std::vector<std::string>{"1"}, {}, {"Tag", "0"}}) {
            ASSERT_TRUE(sampleGltfFile(file, {"Turn", meshes, 4.0}, out, error)) << error;
            ASSERT_EQ(out.numFrames, 5u);
            const std::size_t tagAt = meshes.size() == 1 ? 0 : 9;
            ASSERT_EQ(out.rest.positions.size(), tagAt + 9);
            EXPECT_EQ(out.ranges.back().mesh + " " + std::to_string(out.ranges.back().first), "1 'Tag' " + std::to_string(tagAt / 3));
            EXPECT_EQ(out.rest.triangles.back(), int(tagAt / 3 + 2));
            expectNear(std::vector<double>(out.rest.positions.begin() + long(tagAt), out.rest.positions.end()), tag(0).data(), file + " tag rest");
            expectNear(std::vector<double>(&out.frames[out.rest.positions.size() + tagAt], &out.frames[2 * out.rest.positions.size()]),
                       tag(M_PI / 8).data(), file + " tag at 0.25 s");
        }
    }
}

// Joints placed 100 times larger than the inverse bind matrices expect (as
// in files whose bind pose is broken): the frames and the mesh as the file
// stands are 100 times the raw mesh, which only the bind choice takes.
TEST(GltfImport, TheRestPoseStandsInTheFramesSpaceUnlessTheBindPoseIsChosen)
{
    ScratchFolder dir;
    const struct {
        double scale;
        bool bindPose;
        std::vector<double> rest;
    } cases[] = {
        {1, false, {1, 1, 0, 2, 1, 0, 0, 1, 0}},
        {100, false, {100, 1, 0, 200, 1, 0, 0, 1, 0}},
        {100, true, {1, 1, 0, 2, 1, 0, 0, 1, 0}},
    };
    for (const auto& c : cases) {
        TestAsset asset;
        asset.doc["nodes"][0]["matrix"] = {c.scale, 0, 0, 0, 0, c.scale, 0, 0, 0, 0, c.scale, 0, 0, 1, 0, 1};
        GltfSampleOptions options{"all", {"Body"}, 0.0};
        options.bindPose = c.bindPose;
        GltfSampled out;
        std::string error;
        ASSERT_TRUE(sampleGltfFile(dir.file("a.glb", asset.glb()), options, out, error)) << error;
        expectNear(out.rest.positions, c.rest.data(), "rest");
        expectNear(std::vector<double>(out.frames.begin(), out.frames.begin() + 9), cases[c.scale == 1 ? 0 : 1].rest.data(), "frame 0");
    }
}

#ifdef TOLVAN_CONVERT
// A character of two meshes imports whole; the rest OBJ has no names, so the
// import says where each mesh went, and the vertex map covers both.
TEST(GltfImport, JoinsEveryAnimatedMeshAndSaysWhereEachWent)
{
    ScratchFolder dir;
    dir.file("a.glb", TestAsset().glb());
    const CommandResult r = runCommand(dir, quote(TOLVAN_CONVERT) + " import-gltf a.glb --anim o.txt --rest-out o.obj --vertex-map o.map");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("(input vertices, from 0; --vertex-map gives their places after welding):\n"
                         "  0 'Body': vertices 0 to 2\n  1 'Tag': vertices 3 to 5\n"), std::string::npos) << r.out;
    EXPECT_EQ(readWholeFile(dir.at("o.map")), "0\n1\n2\n3\n4\n5\n");
}
#endif

TEST(GltfImport, RefusesWithTheFileThePlaceAndTheReason)
{
    ScratchFolder dir;
    const struct {
        std::function<void(TestAsset&)> change;
        GltfSampleOptions options;
        const char* message;
    } cases[] = {
        {[](TestAsset&) {}, {"", {"Body", "Eyes"}, 0}, "no mesh 'Eyes' placed by a node; the file has 0 'Body' (animated), 1 'Tag' (animated)"},
        {[](TestAsset&) {}, {"Walk", {"0"}, 0}, "no animation 'Walk'; the file has 0 'Turn', 1 'Grow'"},
        {[](TestAsset& a) { a.doc["meshes"][1]["primitives"][0]["mode"] = 1; }, {"", {"1"}, 0}, "meshes[1].primitives[0].mode: 1 is not TRIANGLES"},
        {[](TestAsset& a) { a.doc["extensionsRequired"].push_back("KHR_draco_mesh_compression"); }, {}, "extensionsRequired: the file requires \"KHR_draco_mesh_compression\""},
        {[](TestAsset& a) { a.doc["nodes"][1]["children"].push_back(0); }, {}, "nodes: the hierarchy has a cycle"},
        {[](TestAsset& a) { a.doc["nodes"][2]["children"] = {3}; }, {}, "nodes[2].children: node 3 has more than one parent"},
        {[](TestAsset& a) { a.doc["animations"][0]["channels"][0]["target"]["node"] = 0; }, {"", {"0"}, 0}, "animations[0].channels[0]: animates nodes[0], which has a matrix"},
        {[](TestAsset& a) { a.doc["asset"]["version"] = "1.0"; }, {}, "asset.version: glTF \"1.0\" (only 2.x is read)"},
        {[](TestAsset& a) { a.doc["accessors"][0]["count"] = 4; }, {}, "accessors[0]: 4 elements run past the end of bufferViews[0]"},
        {[](TestAsset& a) { a.doc["meshes"][0]["primitives"][0]["attributes"]["JOINTS_0"] = 1; }, {"", {"0"}, 0}, "JOINTS_0: joint indices must be unsigned integers"},
        {[](TestAsset& a) { a.doc["meshes"][0]["primitives"][0].erase("targets"); a.doc["meshes"][0].erase("weights"); }, {"all", {"0"}, 0},
         "animations[1].channels[0]: 1 weights per key for 0 morph targets"},
        {[](TestAsset& a) { a.doc["nodes"][1]["rotation"] = {0, 0, 0, 0}; }, {}, "nodes[1].rotation: has zero length"},
        {[](TestAsset& a) { a.doc["animations"][0]["samplers"][0]["interpolation"] = "SMOOTH"; }, {}, "animations[0].samplers[0].interpolation"},
        // Key times 0 and 1e30 s: refused before the frames are allocated.
        {[](TestAsset& a) { a.doc["animations"][0]["samplers"][0]["input"] = a.add<float>({0, 1, 1e30f}, 5126, "SCALAR", 3); },
         {"0", {"0"}, 0}, "more than 100000 frames"},
        {[](TestAsset& a) { a.doc["animations"][0]["samplers"][0]["input"] = a.add<float>({0, 1, 0.5f}, 5126, "SCALAR", 3); },
         {"0", {"0"}, 0}, "samplers[0].input: key time 2 is not finite or not after the one before"},
    };
    for (const auto& c : cases) {
        TestAsset asset;
        c.change(asset);
        const std::string file = dir.file("bad.glb", asset.glb());
        GltfSampled out;
        std::string error;
        EXPECT_FALSE(sampleGltfFile(file, c.options, out, error)) << c.message;
        EXPECT_EQ(error.find(file + ": "), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_TRUE(out.frames.empty());
    }
    // External buffers stay inside the file's folder.
    TestAsset asset;
    json doc = asset.doc;
    doc["buffers"] = json::array({{{"byteLength", 4}, {"uri", "../x.bin"}}});
    GltfSampled out;
    std::string error;
    EXPECT_FALSE(sampleGltfFile(dir.file("up.gltf", doc.dump()), {}, out, error));
    EXPECT_NE(error.find("buffers[0].uri: uri '../x.bin' leaves the file's folder"), std::string::npos) << error;
    EXPECT_FALSE(sampleGltfFile(dir.file("j.gltf", "{\"asset\": "), {}, out, error));
    EXPECT_NE(error.find("j.gltf: JSON parse error at line 1, column 11"), std::string::npos) << error;
}

} // namespace
