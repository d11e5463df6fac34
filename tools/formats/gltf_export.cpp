#include "formats/gltf_export.h"
#include "formats/rig_skinning.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>

#include "formats/gltf_container.h"
#include "formats/gltf_sampling.h"
#include "formats/gltf_vertex_data.h"
#include "formats/joint_tree.h"
#include "formats/rigid_pose.h"

using nlohmann::json;

namespace {

// glTF constants.
const int kFloat = 5126, kUnsignedByte = 5121, kUnsignedShort = 5123, kUnsignedInt = 5125;
const int kArrayBuffer = 34962, kElementArrayBuffer = 34963;

// The binary buffer with its views and accessors, one view per accessor.
struct BufferBuilder {
    std::string bytes;
    json views = json::array();
    json accessors = json::array();

    int addView(const void* data, std::size_t size, int target)
    {
        while (bytes.size() % 4)
            bytes.push_back('\0');
        json view = {{"buffer", 0}, {"byteOffset", bytes.size()}, {"byteLength", size}};
        if (target)
            view["target"] = target;
        bytes.append(static_cast<const char*>(data), size);
        views.push_back(view);
        return int(views.size()) - 1;
    }

    // Floats grouped `width` to an element; bounds are the exact float
    // extremes per component (required for positions and sampler inputs).
    int addFloats(const std::vector<float>& data, int width, const char* type, int target, bool bounds)
    {
        int view = addView(data.data(), data.size() * sizeof(float), target);
        json accessor = {{"bufferView", view}, {"componentType", kFloat}, {"count", data.size() / std::size_t(width)}, {"type", type}};
        if (bounds) {
            json lo = json::array(), hi = json::array();
            for (int c = 0; c < width; ++c) {
                float a = data[std::size_t(c)], b = data[std::size_t(c)];
                for (std::size_t i = std::size_t(c); i < data.size(); i += std::size_t(width)) {
                    a = std::min(a, data[i]);
                    b = std::max(b, data[i]);
                }
                lo.push_back(double(a));
                hi.push_back(double(b));
            }
            accessor["min"] = lo;
            accessor["max"] = hi;
        }
        accessors.push_back(accessor);
        return int(accessors.size()) - 1;
    }

    template <typename T>
    int addIntegers(const std::vector<T>& data, int componentType, std::size_t count, const char* type, int target)
    {
        int view = addView(data.data(), data.size() * sizeof(T), target);
        accessors.push_back({{"bufferView", view}, {"componentType", componentType}, {"count", count}, {"type", type}});
        return int(accessors.size()) - 1;
    }
};

// Per frame and bone: the linear part split into sign and rotation, and
// where the bone's head goes.
struct BonePoses {
    std::vector<double> rotation; // (f * nB + j) * 9
    std::vector<double> sign;     // f * nB + j
    std::vector<double> head;     // (f * nB + j) * 3
};

bool splitBonePoses(const RigData& rig, const JointTree& tree, BonePoses& poses, GltfExportReport& report, std::string& error)
{
    const std::size_t count = std::size_t(rig.numFrames) * std::size_t(rig.numBones);
    poses.rotation.assign(count * 9, 0.0);
    poses.sign.assign(count, 1.0);
    poses.head.assign(count * 3, 0.0);
    for (int f = 0; f < rig.numFrames; ++f)
        for (int j = 0; j < rig.numBones; ++j) {
            std::size_t i = std::size_t(f) * std::size_t(rig.numBones) + std::size_t(j);
            const double* m = rig.transforms.data() + i * 12;
            double* q = &poses.rotation[i * 9];
            if (!splitRigidLinear(m, q, poses.sign[i])) {
                error = "bone " + std::to_string(j) + " in frame " + std::to_string(f) + " is not a rigid transformation (singular)";
                return false;
            }
            report.reflections += poses.sign[i] < 0.0;
            // R need not be exactly a rotation (six written digits, or a fit
            // of a nearly flat group of vertices); its stand-in A = sign·Q is
            // placed so that A and R agree at the weighted centre c of the
            // bone's vertices, where the difference matters: the head h goes
            // to R·c + t - A·(c - h), and so a vertex p to R·c + t + A·(p - c).
            const double* h = &tree.head[std::size_t(j) * 3];
            const double* c = &tree.centre[std::size_t(j) * 3];
            for (int r = 0; r < 3; ++r) {
                double rc = m[r * 3] * c[0] + m[r * 3 + 1] * c[1] + m[r * 3 + 2] * c[2] + m[9 + r];
                double ad = poses.sign[i] * (q[r * 3] * (c[0] - h[0]) + q[r * 3 + 1] * (c[1] - h[1]) + q[r * 3 + 2] * (c[2] - h[2]));
                poses.head[i * 3 + std::size_t(r)] = rc - ad;
            }
        }
    return true;
}

// c = a · b for row-major 3x3 matrices.
void multiply3(const double* a, const double* b, double* c)
{
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            c[r * 3 + k] = a[r * 3] * b[k] + a[r * 3 + 1] * b[3 + k] + a[r * 3 + 2] * b[6 + k];
}

// See GltfExportReport::largestDifference: the written file decoded and
// skinned as a viewer does, against the rig's own skinning.
double writtenDifference(const RigData& rig, const std::vector<double>& rest, const std::string& file)
{
    double lo[3] = {0.0, 0.0, 0.0}, hi[3] = {0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < rest.size(); ++i) {
        lo[i % 3] = i < 3 ? rest[i] : std::min(lo[i % 3], rest[i]);
        hi[i % 3] = i < 3 ? rest[i] : std::max(hi[i % 3], rest[i]);
    }
    double diagonal = std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) + (hi[2] - lo[2]) * (hi[2] - lo[2]));
    GltfDocument doc;
    parseGltfDocument(file, "", doc);
    std::vector<double> times, poses;
    gltfKeyPoses(doc, times, poses);
    if (times.size() != std::size_t(rig.numFrames) || poses.size() != times.size() * rest.size())
        throw GltfError(std::to_string(times.size()) + " keys of " + std::to_string(poses.size() / std::max<std::size_t>(times.size(), 1) / 3) +
                        " vertices for " + std::to_string(rig.numFrames) + " frames of " + std::to_string(rest.size() / 3));
    double worst = 0.0;
    for (int f = 0; f < rig.numFrames; ++f) {
        const double* written = &poses[std::size_t(f) * rest.size()];
        for (int v = 0; v < rig.numVertices; ++v) {
            // A vertex without weights has no place in the rig to compare with.
            if (rig.weights[std::size_t(v)].empty())
                continue;
            double expected[3];
            skinPoint(rig, f, v, &rest[std::size_t(v) * 3], expected);
            const double* x = &written[std::size_t(v) * 3];
            const double d[3] = {x[0] - expected[0], x[1] - expected[1], x[2] - expected[2]};
            const double distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            worst = distance <= worst ? worst : distance; // NaN wins
        }
    }
    return diagonal > 0.0 ? worst / diagonal : worst;
}

// The joint's rest axes in its parent's axes (B_p^T · B_j), or in the rest
// pose's for a root.
void restInParent(const JointTree& tree, int bone, double out[9])
{
    const int p = tree.parent[std::size_t(bone)];
    const double* b = &tree.rotation[std::size_t(bone) * 9];
    if (p < 0)
        std::copy(b, b + 9, out);
    else
        multiplyTransposed3(&tree.rotation[std::size_t(p) * 9], b, out);
}

// Node-local translation, rotation and sign of every joint in every frame:
// local = parent_global^-1 · global, with global = [sign·Q·B | head image]
// and B the joint's rest axes (so that at rest, Q = I, the node holds B).
void localSamples(const RigData& rig, const JointTree& tree, const BonePoses& poses, int bone, std::vector<float>& translation,
                  std::vector<float>& rotation, std::vector<float>& scale, bool& reflected)
{
    const int nB = rig.numBones;
    const int parent = tree.parent[std::size_t(bone)];
    translation.clear();
    rotation.clear();
    scale.clear();
    reflected = false;
    double previous[4] = {0.0, 0.0, 0.0, 1.0};
    for (int f = 0; f < rig.numFrames; ++f) {
        std::size_t i = std::size_t(f) * std::size_t(nB) + std::size_t(bone);
        double q[9], t[3], s = poses.sign[i];
        const double* b = &tree.rotation[std::size_t(bone) * 9];
        double qb[9];
        multiply3(&poses.rotation[i * 9], b, qb);
        if (parent < 0) {
            std::copy(qb, qb + 9, q);
            std::copy(&poses.head[i * 3], &poses.head[i * 3] + 3, t);
        } else {
            std::size_t p = std::size_t(f) * std::size_t(nB) + std::size_t(parent);
            const double* qp = &poses.rotation[p * 9];
            const double* bp = &tree.rotation[std::size_t(parent) * 9];
            double qpbp[9];
            multiply3(qp, bp, qpbp);
            multiplyTransposed3(qpbp, qb, q);
            double d[3];
            for (int k = 0; k < 3; ++k)
                d[k] = poses.head[i * 3 + std::size_t(k)] - poses.head[p * 3 + std::size_t(k)];
            for (int k = 0; k < 3; ++k)
                t[k] = poses.sign[p] * (qpbp[0 * 3 + k] * d[0] + qpbp[1 * 3 + k] * d[1] + qpbp[2 * 3 + k] * d[2]);
            s *= poses.sign[p];
        }
        double quat[4];
        rotationToQuaternion(q, quat);
        // Keep consecutive samples in the same hemisphere so that the
        // interpolation between frames takes the short way.
        if (quat[0] * previous[0] + quat[1] * previous[1] + quat[2] * previous[2] + quat[3] * previous[3] < 0.0)
            for (double& c : quat)
                c = -c;
        std::copy(quat, quat + 4, previous);
        for (int k = 0; k < 3; ++k)
            translation.push_back(float(t[k]));
        for (int k = 0; k < 4; ++k)
            rotation.push_back(float(quat[k]));
        for (int k = 0; k < 3; ++k)
            scale.push_back(float(s));
        reflected = reflected || s < 0.0;
    }
}

} // namespace

bool exportGltf(const ObjMesh& rest, const RigData& rig, const GltfExportOptions& options, std::string& file,
                GltfExportReport& report, std::string& error)
{
    report = GltfExportReport();
    const int nV = int(rest.positions.size() / 3), nB = rig.numBones;
    if (nV != rig.numVertices) {
        error = "the rest mesh has " + std::to_string(nV) + " vertices but the rig has " + std::to_string(rig.numVertices);
        return false;
    }
    if (rest.triangles.empty()) {
        error = "the rest mesh has no faces";
        return false;
    }
    if (!(options.fps > 0.0) || !std::isfinite(options.fps)) {
        error = "the frame rate must be a positive number";
        return false;
    }
    if (nB < 1 || nB > 65536) {
        error = "a rig of " + std::to_string(nB) + " bones cannot be exported (1 to 65536)";
        return false;
    }
    JointTree tree;
    buildJointTree(rig, rest.positions, tree);
    report.ignoredLinks = tree.ignoredLinks;
    BonePoses poses;
    if (!splitBonePoses(rig, tree, poses, report, error))
        return false;

    BufferBuilder buffer;
    json attributes;
    std::vector<float> positions(rest.positions.begin(), rest.positions.end());
    attributes["POSITION"] = buffer.addFloats(positions, 3, "VEC3", kArrayBuffer, true);
    attributes["NORMAL"] = buffer.addFloats(vertexNormals(rest), 3, "VEC3", kArrayBuffer, false);
    std::vector<std::uint16_t> joints;
    std::vector<float> weights;
    vertexInfluences(rig, tree.roots[0], joints, weights, report);
    if (nB <= 256) {
        std::vector<std::uint8_t> small(joints.begin(), joints.end());
        attributes["JOINTS_0"] = buffer.addIntegers(small, kUnsignedByte, std::size_t(nV), "VEC4", kArrayBuffer);
    } else {
        attributes["JOINTS_0"] = buffer.addIntegers(joints, kUnsignedShort, std::size_t(nV), "VEC4", kArrayBuffer);
    }
    attributes["WEIGHTS_0"] = buffer.addFloats(weights, 4, "VEC4", kArrayBuffer, false);
    int indices;
    // 16-bit indices while no index can be the primitive restart value 65535.
    if (nV <= 65535) {
        std::vector<std::uint16_t> small(rest.triangles.begin(), rest.triangles.end());
        indices = buffer.addIntegers(small, kUnsignedShort, small.size(), "SCALAR", kElementArrayBuffer);
    } else {
        std::vector<std::uint32_t> wide(rest.triangles.begin(), rest.triangles.end());
        indices = buffer.addIntegers(wide, kUnsignedInt, wide.size(), "SCALAR", kElementArrayBuffer);
    }
    // Joint j's bind pose is [B | h] (rest axes B, head h), so its inverse
    // bind matrix is [B^T | -B^T·h] (column-major).
    std::vector<float> inverseBind;
    for (int j = 0; j < nB; ++j) {
        const double* h = &tree.head[std::size_t(j) * 3];
        const double* b = &tree.rotation[std::size_t(j) * 9];
        float m[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                m[c * 4 + r] = float(b[c * 3 + r]);
            m[12 + r] = float(-(b[r] * h[0] + b[3 + r] * h[1] + b[6 + r] * h[2]));
        }
        inverseBind.insert(inverseBind.end(), m, m + 16);
    }
    int inverseBindAccessor = buffer.addFloats(inverseBind, 16, "MAT4", 0, false);

    json nodes = json::array();
    for (int j = 0; j < nB; ++j) {
        int p = tree.parent[std::size_t(j)];
        json node = {{"name", "bone_" + std::to_string(j)}};
        // At rest: the head in the parent's axes, the rest axes in the parent's.
        const double* h = &tree.head[std::size_t(j) * 3];
        const double* bp = p < 0 ? nullptr : &tree.rotation[std::size_t(p) * 9];
        double d[3], local[9], quat[4];
        for (int k = 0; k < 3; ++k)
            d[k] = h[k] - (p < 0 ? 0.0 : tree.head[std::size_t(p) * 3 + std::size_t(k)]);
        json translation = json::array();
        for (int k = 0; k < 3; ++k)
            translation.push_back(p < 0 ? d[k] : bp[k] * d[0] + bp[3 + k] * d[1] + bp[6 + k] * d[2]);
        restInParent(tree, j, local);
        rotationToQuaternion(local, quat);
        node["translation"] = translation;
        node["rotation"] = {quat[0], quat[1], quat[2], quat[3]};
        json children = json::array();
        for (int c : tree.order)
            if (tree.parent[std::size_t(c)] == j)
                children.push_back(c);
        if (!children.empty())
            node["children"] = children;
        nodes.push_back(node);
    }
    const int meshNode = nB;
    nodes.push_back({{"name", options.name}, {"mesh", 0}, {"skin", 0}});
    int skeletonRoot = tree.roots[0];
    if (tree.roots.size() > 1) {
        // Separate groups of bones hang under one common root.
        skeletonRoot = int(nodes.size());
        nodes.push_back({{"name", "skeleton"}, {"children", tree.roots}});
    }
    json skinJoints = json::array();
    for (int j = 0; j < nB; ++j)
        skinJoints.push_back(j);

    json doc;
    doc["asset"] = {{"version", "2.0"}, {"generator", "tolvan-convert"}};
    doc["scene"] = 0;
    doc["scenes"] = json::array({{{"nodes", {meshNode, skeletonRoot}}}});
    doc["meshes"] = json::array({{{"name", options.name},
                                  {"primitives", json::array({{{"attributes", attributes}, {"indices", indices}, {"mode", 4}}})}}});
    doc["skins"] = json::array({{{"inverseBindMatrices", inverseBindAccessor}, {"joints", skinJoints}, {"skeleton", skeletonRoot}}});

    if (rig.numFrames > 0) {
        std::vector<float> times;
        for (int f = 0; f < rig.numFrames; ++f)
            times.push_back(float(double(f) / options.fps));
        int input = buffer.addFloats(times, 1, "SCALAR", 0, true);
        json samplers = json::array(), channels = json::array();
        auto addChannel = [&](int node, const char* path, int output, const char* interpolation) {
            samplers.push_back({{"input", input}, {"output", output}, {"interpolation", interpolation}});
            channels.push_back({{"sampler", int(samplers.size()) - 1}, {"target", {{"node", node}, {"path", path}}}});
        };
        std::vector<float> translation, rotation, scale;
        for (int j : tree.order) {
            bool reflected = false;
            localSamples(rig, tree, poses, j, translation, rotation, scale, reflected);
            addChannel(j, "translation", buffer.addFloats(translation, 3, "VEC3", 0, false), "LINEAR");
            addChannel(j, "rotation", buffer.addFloats(rotation, 4, "VEC4", 0, false), "LINEAR");
            // A sign cannot be interpolated: it holds from one sample to the next.
            if (reflected)
                addChannel(j, "scale", buffer.addFloats(scale, 3, "VEC3", 0, false), "STEP");
        }
        doc["animations"] = json::array({{{"name", "rig"}, {"samplers", samplers}, {"channels", channels}}});
    }
    doc["nodes"] = nodes;
    doc["accessors"] = buffer.accessors;
    doc["bufferViews"] = buffer.views;
    while (buffer.bytes.size() % 4)
        buffer.bytes.push_back('\0');
    json bufferEntry = {{"byteLength", buffer.bytes.size()}};
    if (options.binary) {
        doc["buffers"] = json::array({bufferEntry});
        file = packGlb(doc.dump(), buffer.bytes);
    } else {
        bufferEntry["uri"] = dataUri(buffer.bytes);
        doc["buffers"] = json::array({bufferEntry});
        file = doc.dump(1) + "\n";
    }
    try {
        report.largestDifference = writtenDifference(rig, rest.positions, file);
    } catch (const std::exception& e) {
        error = std::string("the written file cannot be read back: ") + e.what();
        return false;
    }
    return true;
}
