// The per-vertex data of the exported mesh: normals of the rest pose and the
// (at most four) skinning influences, as glTF stores them.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/gltf_export.h"

// Area-weighted vertex normals of the rest mesh, unit length; x, y, z per
// vertex (0, 0, 1 for a vertex on no proper triangle).
std::vector<float> vertexNormals(const ObjMesh& mesh);

// Up to four influences per vertex (joints and weights, 4 per vertex),
// largest first, renormalised so that the float weights add up to 1 as a
// reader sums them (in float, slot order); a vertex without weights follows
// fallbackBone. Counts truncated and unweighted vertices in report.
void vertexInfluences(const RigData& rig, int fallbackBone, std::vector<std::uint16_t>& joints, std::vector<float>& weights,
                      GltfExportReport& report);
