#include "formats/gltf_sampling.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "formats/gltf_animation.h"
#include "formats/gltf_scene.h"

using nlohmann::json;

namespace {

std::string label(const GltfDocument& doc, const char* array, std::size_t i)
{
    const json& item = doc.json[array][i];
    std::string text = std::to_string(i);
    if (item.is_object() && item.contains("name") && item["name"].is_string())
        text += " '" + item["name"].get<std::string>() + "'";
    return text;
}

bool matches(const GltfDocument& doc, const char* array, std::size_t i, const std::string& wanted)
{
    const json& item = doc.json[array][i];
    if (!wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos)
        return wanted == std::to_string(i);
    return item.is_object() && item.contains("name") && item["name"] == wanted;
}

std::string listOf(const GltfDocument& doc, const char* array)
{
    std::string text;
    for (std::size_t i = 0; i < gltfCount(doc, array); ++i)
        text += (i ? ", " : "") + label(doc, array, i);
    return text;
}

std::vector<std::size_t> chooseAnimations(const GltfDocument& doc, const std::string& wanted)
{
    const std::size_t n = gltfCount(doc, "animations");
    if (n == 0)
        throw GltfError("the file has no animation");
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < n; ++i)
        if (wanted == "all" || (wanted.empty() ? i == 0 : matches(doc, "animations", i, wanted)))
            chosen.push_back(i);
    if (chosen.empty())
        throw GltfError("no animation '" + wanted + "'; the file has " + listOf(doc, "animations"));
    return chosen;
}

struct MeshNode {
    std::size_t node = 0, mesh = 0;
    long skin = -1;
    bool animated = false;
};

// The nodes placing the chosen meshes, in node order: those asked for, or
// every animated one, or the only one.
std::vector<MeshNode> chooseMeshes(const GltfDocument& doc, const GltfHierarchy& h, const std::vector<GltfChannel>& channels,
                                   const std::vector<std::string>& wanted)
{
    std::vector<char> moved(h.nodes.size(), 0), morphed(h.nodes.size(), 0);
    for (const GltfChannel& c : channels)
        (c.path == GltfPath::Weights ? morphed : moved)[c.node] = 1;
    for (std::size_t i : h.order)
        if (h.parent[i] >= 0)
            moved[i] |= moved[std::size_t(h.parent[i])];
    std::vector<MeshNode> candidates; // first (preferably animated) node per mesh
    for (std::size_t i = 0; i < h.nodes.size(); ++i) {
        const json& node = doc.json["nodes"][i];
        if (!node.contains("mesh"))
            continue;
        const std::string place = "nodes[" + std::to_string(i) + "]";
        MeshNode m{i, gltfIndex(node["mesh"], gltfCount(doc, "meshes"), place + ".mesh"), -1, morphed[i] != 0};
        if (node.contains("skin")) {
            m.skin = long(gltfIndex(node["skin"], gltfCount(doc, "skins"), place + ".skin"));
            for (const json& j : gltfMember(doc.json["skins"][std::size_t(m.skin)], "joints", "skins[" + std::to_string(m.skin) + "]"))
                m.animated = m.animated || (j.is_number_unsigned() && j.get<std::size_t>() < moved.size() && moved[j.get<std::size_t>()]);
        } else {
            m.animated = m.animated || moved[i];
        }
        auto same = std::find_if(candidates.begin(), candidates.end(), [&](const MeshNode& c) { return c.mesh == m.mesh; });
        if (same == candidates.end())
            candidates.push_back(m);
        else if (m.animated && !same->animated)
            *same = m;
    }
    std::string list;
    for (const MeshNode& c : candidates)
        list += (list.empty() ? "" : ", ") + label(doc, "meshes", c.mesh) + (c.animated ? " (animated)" : "");
    if (candidates.empty())
        throw GltfError("no node places a mesh");
    std::vector<MeshNode> picked;
    for (const std::string& name : wanted)
        if (std::none_of(candidates.begin(), candidates.end(), [&](const MeshNode& c) { return matches(doc, "meshes", c.mesh, name); }))
            throw GltfError("no mesh '" + name + "' placed by a node; the file has " + list);
    for (const MeshNode& c : candidates)
        if (wanted.empty() ? c.animated
                           : std::any_of(wanted.begin(), wanted.end(), [&](const std::string& name) { return matches(doc, "meshes", c.mesh, name); }))
            picked.push_back(c);
    if (picked.empty() && candidates.size() == 1)
        picked = candidates;
    if (picked.empty())
        throw GltfError("no mesh is animated; choose with --mesh: " + list);
    std::sort(picked.begin(), picked.end(), [](const MeshNode& a, const MeshNode& b) { return a.node < b.node; });
    return picked;
}

// Sample rate and count: the keys' own spacing when every key time lies
// on it, else 30 per second (or the rate asked for).
void chooseTiming(const std::vector<GltfChannel>& channels, double wantedFps, std::size_t vertices, GltfSampled& out)
{
    std::vector<double> times;
    for (const GltfChannel& c : channels)
        times.insert(times.end(), c.times.begin(), c.times.end());
    if (times.empty())
        throw GltfError("the animation has no channel that moves a node");
    std::sort(times.begin(), times.end());
    const double first = times.front(), length = times.back() - first;
    double fps = wantedFps > 0.0 ? wantedFps : 30.0;
    if (wantedFps <= 0.0 && length > 0.0) {
        double smallest = length;
        for (std::size_t k = 1; k < times.size(); ++k)
            if (times[k] - times[k - 1] > 1e-6 * std::max(1.0, std::fabs(times[k]))) // beyond float rounding
                smallest = std::min(smallest, times[k] - times[k - 1]);
        const double steps = std::round(length / smallest), step = length / steps;
        bool even = steps <= double(kMaxGltfFrames);
        for (std::size_t k = 0; even && k < times.size(); ++k)
            even = std::fabs((times[k] - first) / step - std::round((times[k] - first) / step)) <= 1e-3;
        if (even)
            fps = std::fabs(1.0 / step - std::round(1.0 / step)) <= 1e-4 * (1.0 / step) ? std::round(1.0 / step) : 1.0 / step;
    }
    const double steps = std::floor(length * fps + 1e-3);
    if (!(steps < double(kMaxGltfFrames)))
        throw GltfError("the animation spans " + std::to_string(length) + " s, more than " + std::to_string(kMaxGltfFrames) +
                        " frames at " + std::to_string(fps) + " per second");
    // The positions are held in memory: at most kMaxGltfPositions of them.
    if ((steps + 1) * double(vertices) > double(kMaxGltfPositions))
        throw GltfError(std::to_string(std::size_t(steps) + 1) + " frames of " + std::to_string(vertices) + " vertices are more than " +
                        std::to_string(kMaxGltfPositions) + " positions; sample fewer frames with --fps");
    out.numFrames = std::size_t(steps) + 1;
    out.fps = fps;
    out.start = first;
}

void sample(const GltfDocument& doc, const GltfSampleOptions& options, GltfSampled& out)
{
    GltfPoser p;
    prepareGltfPoser(doc, options.animation, options.meshes, p);
    out.animation = p.animationLabel;
    out.mesh = p.meshLabel;
    chooseTiming(p.channels, options.fps, p.vertices, out);
    const std::size_t n = p.vertices * 3;
    std::vector<GltfMatrix> world;
    gltfWorldMatrices(p.hierarchy, p.hierarchy.nodes, world);
    out.rest.positions.resize(n);
    for (const GltfPart& part : p.parts) {
        // Without animation the joints stand at their own node transforms,
        // which places the mesh in the frames' space even when the inverse
        // bind matrices do not match the joints (the raw mesh then lies elsewhere).
        const bool raw = part.skinned && options.bindPose;
        gltfPosePositions(part.mesh, part.skinned && !raw ? &part.skin : nullptr, world,
                          raw ? GltfMatrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1} : world[part.node], part.weights,
                          &out.rest.positions[part.first * 3]);
        for (int corner : part.mesh.triangles)
            out.rest.triangles.push_back(corner + int(part.first));
        out.ranges.push_back({part.label, part.first, part.mesh.positions.size() / 3});
    }
    out.frames.resize(out.numFrames * n);
    for (std::size_t f = 0; f < out.numFrames; ++f)
        gltfPoseAt(p, out.start + double(f) / out.fps, 1e-3 / out.fps, &out.frames[f * n]);
    for (std::size_t i = 0; i < out.frames.size(); ++i)
        if (!std::isfinite(out.frames[i]))
            throw GltfError("frame " + std::to_string(i / n) + ", vertex " + std::to_string(i % n / 3) + ": the position is not finite");
}

} // namespace

void prepareGltfPoser(const GltfDocument& doc, const std::string& animation, const std::vector<std::string>& meshes, GltfPoser& p)
{
    p = GltfPoser();
    GltfHierarchy& h = p.hierarchy;
    readGltfHierarchy(doc, h);
    for (std::size_t a : chooseAnimations(doc, animation)) {
        readGltfChannels(doc, a, p.channels);
        p.animationLabel += (p.animationLabel.empty() ? "" : ", ") + label(doc, "animations", a);
    }
    for (const GltfChannel& c : p.channels)
        if (c.path != GltfPath::Weights && h.nodes[c.node].hasMatrix)
            gltfFail(c.place, "animates nodes[" + std::to_string(c.node) + "], which has a matrix instead of translation, rotation and scale");
    for (const MeshNode& chosen : chooseMeshes(doc, h, p.channels, meshes)) {
        GltfPart& part = p.parts.emplace_back();
        part.label = label(doc, "meshes", chosen.mesh);
        p.meshLabel += (p.meshLabel.empty() ? "" : ", ") + part.label;
        part.node = chosen.node;
        part.skinned = chosen.skin >= 0;
        if (part.skinned)
            readGltfSkin(doc, std::size_t(chosen.skin), part.skin);
        readGltfMesh(doc, chosen.mesh, part.skin.joints.size(), part.mesh);
        part.weights = part.mesh.defaultWeights;
        const json& node = doc.json["nodes"][chosen.node];
        if (node.contains("weights"))
            gltfNumbers(node["weights"], part.weights.size(), part.weights.data(), "nodes[" + std::to_string(chosen.node) + "].weights");
        for (const GltfChannel& c : p.channels)
            if (c.path == GltfPath::Weights && c.node == chosen.node && c.width != part.weights.size())
                gltfFail(c.place, std::to_string(c.width) + " weights per key for " + std::to_string(part.weights.size()) + " morph targets");
        part.first = p.vertices;
        p.vertices += part.mesh.positions.size() / 3;
        if (p.vertices > std::size_t(std::numeric_limits<int>::max() / 3))
            gltfFail("meshes", "too many vertices");
    }
}

void gltfPoseAt(const GltfPoser& p, double t, double snap, double* out)
{
    std::vector<GltfNodeState> states = p.hierarchy.nodes;
    for (const GltfChannel& c : p.channels) {
        GltfNodeState& s = states[c.node];
        if (c.path != GltfPath::Weights)
            sampleGltfChannel(c, t, snap, c.path == GltfPath::Translation ? s.t : c.path == GltfPath::Rotation ? s.r : s.s);
    }
    std::vector<GltfMatrix> world;
    gltfWorldMatrices(p.hierarchy, states, world);
    for (const GltfPart& part : p.parts) {
        std::vector<double> weights = part.weights;
        for (const GltfChannel& c : p.channels)
            if (c.path == GltfPath::Weights && c.node == part.node)
                sampleGltfChannel(c, t, snap, weights.data());
        gltfPosePositions(part.mesh, part.skinned ? &part.skin : nullptr, world, world[part.node], weights, out + part.first * 3);
    }
}

void gltfKeyPoses(const GltfDocument& doc, std::vector<double>& times, std::vector<double>& positions)
{
    GltfPoser p;
    prepareGltfPoser(doc, "", {}, p);
    times.clear();
    for (const GltfChannel& c : p.channels)
        times.insert(times.end(), c.times.begin(), c.times.end());
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    const std::size_t n = p.vertices * 3;
    if (double(times.size()) * double(n) > double(kMaxGltfPositions))
        throw GltfError(std::to_string(times.size()) + " keys of " + std::to_string(n / 3) + " vertices are too many positions");
    positions.resize(times.size() * n);
    for (std::size_t k = 0; k < times.size(); ++k)
        gltfPoseAt(p, times[k], 0.0, &positions[k * n]);
}

bool sampleGltfFile(const std::string& fileName, const GltfSampleOptions& options, GltfSampled& out, std::string& error)
{
    out = GltfSampled();
    try {
        GltfDocument doc;
        loadGltfDocument(fileName, doc);
        sample(doc, options, out);
        return true;
    } catch (const GltfError& e) {
        error = fileName + ": " + e.what();
    } catch (const nlohmann::json::exception& e) {
        error = fileName + ": unexpected JSON value (" + e.what() + ")";
    }
    out = GltfSampled();
    return false;
}
