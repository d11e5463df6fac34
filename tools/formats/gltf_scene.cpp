#include "formats/gltf_scene.h"

#include <cmath>
#include <limits>

using nlohmann::json;

namespace {

GltfMatrix multiply(const GltfMatrix& a, const GltfMatrix& b)
{
    GltfMatrix c{};
    for (std::size_t col = 0; col < 4; ++col)
        for (std::size_t row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (std::size_t k = 0; k < 4; ++k)
                sum += a[k * 4 + row] * b[col * 4 + k];
            c[col * 4 + row] = sum;
        }
    return c;
}

// T · R · S.
GltfMatrix localMatrix(const GltfNodeState& n)
{
    if (n.hasMatrix)
        return n.matrix;
    const double x = n.r[0], y = n.r[1], z = n.r[2], w = n.r[3];
    const double r[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - z * w),     2 * (x * z + y * w),
                         2 * (x * y + z * w),     1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
                         2 * (x * z - y * w),     2 * (y * z + x * w),     1 - 2 * (x * x + y * y)};
    GltfMatrix m{};
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t col = 0; col < 3; ++col)
            m[col * 4 + row] = r[row * 3 + col] * n.s[col];
    m[12] = n.t[0], m[13] = n.t[1], m[14] = n.t[2], m[15] = 1.0;
    return m;
}

void readNode(const json& node, const std::string& place, GltfNodeState& state)
{
    if (node.contains("matrix")) {
        state.hasMatrix = true;
        gltfNumbers(node["matrix"], 16, state.matrix.data(), place + ".matrix");
    }
    if (node.contains("translation"))
        gltfNumbers(node["translation"], 3, state.t, place + ".translation");
    if (node.contains("scale"))
        gltfNumbers(node["scale"], 3, state.s, place + ".scale");
    if (node.contains("rotation")) {
        gltfNumbers(node["rotation"], 4, state.r, place + ".rotation");
        const double n = std::sqrt(state.r[0] * state.r[0] + state.r[1] * state.r[1] + state.r[2] * state.r[2] + state.r[3] * state.r[3]);
        if (!(n > 0.0))
            gltfFail(place + ".rotation", "has zero length");
        for (double& c : state.r)
            c /= n;
    }
}

} // namespace

void readGltfHierarchy(const GltfDocument& doc, GltfHierarchy& h)
{
    const std::size_t n = gltfCount(doc, "nodes");
    h.nodes.assign(n, GltfNodeState());
    h.parent.assign(n, -1);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string place = "nodes[" + std::to_string(i) + "]";
        const json& node = gltfItem(doc, "nodes", i);
        readNode(node, place, h.nodes[i]);
        if (!node.contains("children"))
            continue;
        if (!node["children"].is_array())
            gltfFail(place + ".children", "expected an array");
        for (std::size_t k = 0; k < node["children"].size(); ++k) {
            const std::size_t c = gltfIndex(node["children"][k], n, place + ".children[" + std::to_string(k) + "]");
            if (h.parent[c] != -1 || c == i)
                gltfFail(place + ".children", "node " + std::to_string(c) + " has more than one parent");
            h.parent[c] = long(i);
        }
    }
    // Parents before children: a node is placed once its parent is; a node
    // that never gets placed lies on a cycle.
    std::vector<char> placed(n, 0);
    std::vector<std::vector<std::size_t>> children(n);
    h.order.clear();
    for (std::size_t i = 0; i < n; ++i)
        if (h.parent[i] == -1)
            h.order.push_back(i);
        else
            children[std::size_t(h.parent[i])].push_back(i);
    for (std::size_t k = 0; k < h.order.size(); ++k)
        for (std::size_t c : children[h.order[k]])
            h.order.push_back(c);
    if (h.order.size() != n)
        gltfFail("nodes", "the hierarchy has a cycle");
}

void gltfWorldMatrices(const GltfHierarchy& h, const std::vector<GltfNodeState>& states, std::vector<GltfMatrix>& world)
{
    world.resize(states.size());
    for (std::size_t i : h.order)
        world[i] = h.parent[i] < 0 ? localMatrix(states[i]) : multiply(world[std::size_t(h.parent[i])], localMatrix(states[i]));
}

void readGltfSkin(const GltfDocument& doc, std::size_t index, GltfSkin& skin)
{
    const std::string place = "skins[" + std::to_string(index) + "]";
    const json& s = gltfItem(doc, "skins", index);
    const json& joints = gltfMember(s, "joints", place);
    if (!joints.is_array() || joints.empty())
        gltfFail(place + ".joints", "expected a non-empty array");
    skin.joints.clear();
    for (std::size_t k = 0; k < joints.size(); ++k)
        skin.joints.push_back(gltfIndex(joints[k], gltfCount(doc, "nodes"), place + ".joints[" + std::to_string(k) + "]"));
    skin.inverseBind.assign(joints.size() * 16, 0.0);
    for (std::size_t k = 0; k < joints.size(); ++k)
        for (std::size_t d = 0; d < 4; ++d)
            skin.inverseBind[k * 16 + d * 5] = 1.0;
    if (!s.contains("inverseBindMatrices"))
        return;
    const std::size_t a = gltfIndex(s["inverseBindMatrices"], gltfCount(doc, "accessors"), place + ".inverseBindMatrices");
    GltfAccessor m = readGltfAccessor(doc, a);
    if (m.components != 16 || m.count < joints.size())
        gltfFail(place + ".inverseBindMatrices", "needs a MAT4 per joint");
    for (double v : m.values)
        if (!std::isfinite(v))
            gltfFail(place + ".inverseBindMatrices", "a value is not finite");
    m.values.resize(joints.size() * 16);
    skin.inverseBind = std::move(m.values);
}

namespace {

// Reads the accessor of attribute `key` into out, checking its shape;
// false when the attribute is absent.
bool readAttribute(const GltfDocument& doc, const json& attributes, const std::string& key, const std::string& place,
                   int components, std::size_t count, GltfAccessor& out)
{
    if (!attributes.contains(key))
        return false;
    out = readGltfAccessor(doc, gltfIndex(attributes[key], gltfCount(doc, "accessors"), place + "." + key));
    if (out.components != components || (count && out.count != count))
        gltfFail(place + "." + key, "expected " + std::to_string(count) + " elements of " + std::to_string(components) +
                                        " components, found " + std::to_string(out.count) + " of " + std::to_string(out.components));
    for (double v : out.values)
        if (!std::isfinite(v))
            gltfFail(place + "." + key, "a value is not finite");
    return true;
}

void readPrimitive(const GltfDocument& doc, const json& primitive, const std::string& place, std::size_t jointCount, std::size_t sets,
                   GltfMesh& mesh)
{
    if (primitive.contains("mode") && primitive["mode"] != 4)
        gltfFail(place + ".mode", primitive["mode"].dump() + " is not TRIANGLES (4); points, lines, strips and fans cannot be rigged");
    if (primitive.contains("extensions") && primitive["extensions"].is_object())
        for (const auto& item : primitive["extensions"].items())
            if (item.key() == "KHR_draco_mesh_compression")
                gltfFail(place + ".extensions", "KHR_draco_mesh_compression cannot be read");
    const json& attributes = gltfMember(primitive, "attributes", place);
    GltfAccessor position;
    if (!readAttribute(doc, attributes, "POSITION", place + ".attributes", 3, 0, position))
        gltfFail(place + ".attributes", "no POSITION");
    const std::size_t first = mesh.positions.size() / 3, count = position.count;
    if (first + count > std::size_t(std::numeric_limits<int>::max() / 3))
        gltfFail(place, "too many vertices");
    mesh.positions.insert(mesh.positions.end(), position.values.begin(), position.values.end());
    if (primitive.contains("indices")) {
        const std::size_t a = gltfIndex(primitive["indices"], gltfCount(doc, "accessors"), place + ".indices");
        const GltfAccessor indices = readGltfAccessor(doc, a);
        if (indices.components != 1 || indices.normalized || indices.count % 3 ||
            (indices.componentType != 5121 && indices.componentType != 5123 && indices.componentType != 5125))
            gltfFail(place + ".indices", "expected unsigned integer SCALARs, three per triangle");
        for (double i : indices.values) {
            if (i >= double(count))
                gltfFail(place + ".indices", "vertex " + std::to_string(std::uint64_t(i)) + " of " + std::to_string(count));
            mesh.triangles.push_back(int(first + std::size_t(i)));
        }
    } else {
        if (count % 3)
            gltfFail(place, "without indices the vertex count must be a multiple of 3");
        for (std::size_t i = 0; i < count; ++i)
            mesh.triangles.push_back(int(first + i));
    }
    const json empty = json::array();
    const json& targets = primitive.contains("targets") ? primitive["targets"] : empty;
    if (!targets.is_array() || targets.size() != mesh.targets.size())
        gltfFail(place + ".targets", "every primitive needs the same number of morph targets (" + std::to_string(mesh.targets.size()) + ")");
    for (std::size_t t = 0; t < targets.size(); ++t) {
        GltfAccessor delta;
        std::vector<double>& out = mesh.targets[t];
        if (readAttribute(doc, targets[t], "POSITION", place + ".targets[" + std::to_string(t) + "]", 3, count, delta))
            out.insert(out.end(), delta.values.begin(), delta.values.end());
        else
            out.resize(out.size() + 3 * count, 0.0);
    }
    if (jointCount == 0)
        return;
    mesh.joints.resize(mesh.positions.size() / 3 * mesh.influences, 0);
    mesh.weights.resize(mesh.positions.size() / 3 * mesh.influences, 0.0);
    for (std::size_t set = 0; set < sets; ++set) {
        GltfAccessor joints, weights;
        const std::string n = std::to_string(set);
        const bool hasJoints = readAttribute(doc, attributes, "JOINTS_" + n, place + ".attributes", 4, count, joints);
        if (hasJoints != readAttribute(doc, attributes, "WEIGHTS_" + n, place + ".attributes", 4, count, weights))
            gltfFail(place + ".attributes", "JOINTS_" + n + " and WEIGHTS_" + n + " must come together");
        if (!hasJoints)
            continue;
        if (joints.normalized || joints.componentType == 5126)
            gltfFail(place + ".attributes.JOINTS_" + n, "joint indices must be unsigned integers");
        for (std::size_t v = 0; v < count; ++v)
            for (std::size_t k = 0; k < 4; ++k) {
                const double j = joints.values[v * 4 + k];
                if (j < 0.0 || j >= double(jointCount))
                    gltfFail(place + ".attributes.JOINTS_" + n, "joint " + std::to_string(j) + " of vertex " + std::to_string(v) +
                                                                  " is not one of the skin's " + std::to_string(jointCount));
                const std::size_t at = (first + v) * mesh.influences + set * 4 + k;
                mesh.joints[at] = std::uint32_t(j);
                mesh.weights[at] = weights.values[v * 4 + k];
            }
    }
}

} // namespace

void readGltfMesh(const GltfDocument& doc, std::size_t index, std::size_t jointCount, GltfMesh& mesh)
{
    mesh = GltfMesh();
    const std::string place = "meshes[" + std::to_string(index) + "]";
    const json& m = gltfItem(doc, "meshes", index);
    const json& primitives = gltfMember(m, "primitives", place);
    if (!primitives.is_array() || primitives.empty())
        gltfFail(place + ".primitives", "expected a non-empty array");
    if (primitives[0].contains("targets") && primitives[0]["targets"].is_array())
        mesh.targets.resize(primitives[0]["targets"].size());
    mesh.defaultWeights.assign(mesh.targets.size(), 0.0);
    if (m.contains("weights"))
        gltfNumbers(m["weights"], mesh.targets.size(), mesh.defaultWeights.data(), place + ".weights");
    // Influence sets: as many as the primitive with the most has.
    std::size_t sets = 0;
    for (const json& p : primitives)
        if (p.is_object() && p.contains("attributes") && p["attributes"].is_object())
            while (sets < 64 && p["attributes"].contains("JOINTS_" + std::to_string(sets)))
                ++sets;
    if (jointCount > 0 && sets == 0)
        gltfFail(place, "is skinned but has no JOINTS_0");
    mesh.influences = jointCount > 0 ? sets * 4 : 0;
    for (std::size_t p = 0; p < primitives.size(); ++p)
        readPrimitive(doc, primitives[p], place + ".primitives[" + std::to_string(p) + "]", jointCount, sets, mesh);
}

void gltfPosePositions(const GltfMesh& mesh, const GltfSkin* skin, const std::vector<GltfMatrix>& world, const GltfMatrix& meshWorld,
                       const std::vector<double>& weights, double* out)
{
    const std::size_t n = mesh.positions.size() / 3;
    std::vector<GltfMatrix> jointMatrix;
    if (skin)
        for (std::size_t j = 0; j < skin->joints.size(); ++j) {
            GltfMatrix ibm;
            std::copy(&skin->inverseBind[j * 16], &skin->inverseBind[j * 16] + 16, ibm.begin());
            jointMatrix.push_back(multiply(world[skin->joints[j]], ibm));
        }
    for (std::size_t v = 0; v < n; ++v) {
        double p[3] = {mesh.positions[v * 3], mesh.positions[v * 3 + 1], mesh.positions[v * 3 + 2]};
        for (std::size_t t = 0; t < mesh.targets.size(); ++t)
            if (weights[t] != 0.0)
                for (std::size_t c = 0; c < 3; ++c)
                    p[c] += weights[t] * mesh.targets[t][v * 3 + c];
        double* o = out + v * 3;
        if (!skin) {
            for (std::size_t r = 0; r < 3; ++r)
                o[r] = meshWorld[r] * p[0] + meshWorld[4 + r] * p[1] + meshWorld[8 + r] * p[2] + meshWorld[12 + r];
            continue;
        }
        o[0] = o[1] = o[2] = 0.0;
        for (std::size_t k = 0; k < mesh.influences; ++k) {
            const double w = mesh.weights[v * mesh.influences + k];
            if (w == 0.0)
                continue;
            const GltfMatrix& m = jointMatrix[mesh.joints[v * mesh.influences + k]];
            for (std::size_t r = 0; r < 3; ++r)
                o[r] += w * (m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r]);
        }
    }
}
