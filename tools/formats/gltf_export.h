// Export of a rig with its rest mesh as an animated, skinned glTF 2.0 asset:
// the mesh (positions, normals, indices), one joint node per bone arranged
// as the skeleton's tree, inverse bind matrices, at most four influences per
// vertex, and one animation whose samples reproduce the rig's linear blend
// skinning in every frame.
#pragma once

#include <string>

#include "formats/obj_mesh.h"
#include "io/rig_text.h"

struct GltfExportOptions {
    double fps = 30.0;        // frame f is sampled at time f / fps
    bool binary = true;       // .glb; otherwise .gltf with the buffer embedded
    std::string name = "mesh"; // name of the mesh and its node
};

// What the export had to change or found doubtful; the caller reports it.
struct GltfExportReport {
    int truncatedVertices = 0;  // more than 4 influences: the 4 largest kept, renormalised
    int unweightedVertices = 0; // no influence at all: bound to the root bone
    int reflections = 0;        // bone frames with a negative determinant (stored exactly)
    // Largest distance, over frames and vertices, between the rig's linear
    // blend skinning and the skinning the written file encodes (decoded from
    // its bytes: float accessors, node rest transforms, inverse bind
    // matrices, samples), relative to the rest pose's box diagonal (vertices
    // without weights left out). Float rounding only, unless influences were
    // dropped or a bone's 3x3 part is not a rotation (a node holds only
    // rotations, so the best fitting one stands in).
    double largestDifference = 0.0;
    int ignoredLinks = 0;       // skeleton links that would close a loop
};

// Builds the file contents. Joint j is the node `bone_<j>`; its rest axes
// follow the skeleton (joint_frames.h) and the animation is expressed
// relative to them. Fails with error when rest mesh and rig differ
// in their vertex count, the mesh has no triangle, the frame rate is not a
// positive number, there are more than 65536 bones, or a bone's 3x3 part is
// singular or not finite.
bool exportGltf(const ObjMesh& rest, const RigData& rig, const GltfExportOptions& options, std::string& file,
                GltfExportReport& report, std::string& error);
