// One animation of the meshes of a glTF asset, joined into one, posed at any time as glTF
// prescribes, or sampled at a fixed rate into positions per frame with the
// rest pose beside them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "formats/gltf_animation.h"
#include "formats/gltf_scene.h"
#include "formats/obj_mesh.h"

struct GltfSampleOptions {
    std::string animation; // "" = the first, "all" = every one together, else an index or a name
    std::vector<std::string> meshes; // indices or names; none = every animated mesh (or the only mesh)
    double fps = 0.0;      // 0 = the spacing of the keys when even, else 30
    bool bindPose = false; // rest pose: the raw mesh of a skinned mesh instead of the mesh as the file stands
};

struct GltfSampled {
    ObjMesh rest;               // the mesh as the file stands without animation (or the raw mesh of a skinned one when
                                // bindPose), default morph weights
    std::vector<double> frames; // numFrames × vertices × (x, y, z)
    std::size_t numFrames = 0;
    double fps = 0.0;
    double start = 0.0;         // time of the first sample, seconds
    std::string mesh;           // "index 'name'" of each mesh chosen, comma-separated
    struct Range {
        std::string mesh;           // "index 'name'"
        std::size_t first, count;   // its vertices among the joined ones
    };
    std::vector<Range> ranges;  // one per mesh, in the order of their nodes
    std::string animation;      // the same for the animation(s)
};

// Most frames a file may ask for; more is refused before anything is allocated.
constexpr std::size_t kMaxGltfFrames = 100000;
// Most positions (frames × vertices) sampled, 1.2 GB as doubles.
constexpr std::size_t kMaxGltfPositions = 50000000;

// Samples the chosen animation of the chosen meshes from its first to its last
// key time; a key time within 1e-3 of a sample step counts as that step.
// On failure returns false with error "FILE: place: reason".
bool sampleGltfFile(const std::string& fileName, const GltfSampleOptions& options, GltfSampled& out, std::string& error);

// One mesh as one node places it, with its skin and its morph weights.
struct GltfPart {
    GltfSkin skin;
    GltfMesh mesh;
    std::vector<double> weights; // the node's morph weights without animation
    std::size_t node = 0;        // the node placing the mesh
    std::size_t first = 0;       // its first vertex among the joined ones
    bool skinned = false;
    std::string label;           // "index 'name'"
};

// The meshes of an asset, joined in the order of their nodes, with what moves
// them: the node hierarchy and the channels of the chosen animation(s).
struct GltfPoser {
    GltfHierarchy hierarchy;
    std::vector<GltfChannel> channels;
    std::vector<GltfPart> parts;
    std::size_t vertices = 0;    // of all parts
    std::string meshLabel;       // the parts' labels, comma-separated
    std::string animationLabel;  // the same for the animation(s)
};

// Chooses animation and meshes as GltfSampleOptions describes them and reads
// them. Throws GltfError naming the place of a fault.
void prepareGltfPoser(const GltfDocument& doc, const std::string& animation, const std::vector<std::string>& meshes, GltfPoser& poser);

// x, y, z per joined vertex at time t (seconds): channels sampled (keys
// within snap seconds taken as they are), morph targets blended, then skinned.
void gltfPoseAt(const GltfPoser& poser, double t, double snap, double* out);

// The positions of the animated meshes at every key time of the first
// animation: times sorted, each once; positions key after key. Throws
// GltfError.
void gltfKeyPoses(const GltfDocument& doc, std::vector<double>& times, std::vector<double>& positions);
