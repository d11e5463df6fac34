// One animation of one mesh of a glTF asset, posed at any time as glTF
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
    std::string mesh;      // "" = the only animated mesh, else an index or a name
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
    std::string mesh;           // "index 'name'" of the mesh chosen
    std::string animation;      // the same for the animation(s)
};

// Most frames a file may ask for; more is refused before anything is allocated.
constexpr std::size_t kMaxGltfFrames = 100000;
// Most positions (frames × vertices) sampled, 1.2 GB as doubles.
constexpr std::size_t kMaxGltfPositions = 50000000;

// Samples the chosen animation of the chosen mesh from its first to its last
// key time; a key time within 1e-3 of a sample step counts as that step.
// On failure returns false with error "FILE: place: reason".
bool sampleGltfFile(const std::string& fileName, const GltfSampleOptions& options, GltfSampled& out, std::string& error);

// A mesh of an asset with what moves it: the node hierarchy, the channels of
// the chosen animation(s), its skin and its morph weights.
struct GltfPoser {
    GltfHierarchy hierarchy;
    std::vector<GltfChannel> channels;
    GltfSkin skin;
    GltfMesh mesh;
    std::vector<double> weights; // the node's morph weights without animation
    std::size_t node = 0;        // the node placing the mesh
    bool skinned = false;
    std::string meshLabel;       // "index 'name'"
    std::string animationLabel;  // the same for the animation(s), comma-separated
};

// Chooses animation and mesh as GltfSampleOptions describes them and reads
// them. Throws GltfError naming the place of a fault.
void prepareGltfPoser(const GltfDocument& doc, const std::string& animation, const std::string& mesh, GltfPoser& poser);

// x, y, z per vertex at time t (seconds): channels sampled (keys within snap
// seconds taken as they are), morph targets blended, then skinned.
void gltfPoseAt(const GltfPoser& poser, double t, double snap, double* out);

// The positions of the only animated mesh at every key time of the first
// animation: times sorted, each once; positions key after key. Throws
// GltfError.
void gltfKeyPoses(const GltfDocument& doc, std::vector<double>& times, std::vector<double>& positions);
