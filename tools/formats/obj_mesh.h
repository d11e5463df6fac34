// Reader of Wavefront OBJ meshes as users keep them: vertex positions and
// polygon faces, with everything that does not describe positions or
// connectivity skipped.
#pragma once

#include <string>
#include <vector>

struct ObjMesh {
    std::vector<double> positions; // x, y, z per vertex, in file order
    std::vector<int> triangles;    // three 0-based vertex indices per triangle
};

// Reads "v x y z" (extra numbers such as w or a colour are skipped) and "f"
// records of three or more vertices, each given as "v", "v/vt", "v/vt/vn" or
// "v//vn"; negative indices count back from the last vertex read so far.
// Faces are triangulated as a fan from their first vertex. "vt", "vn", "vp",
// "g", "o", "s", "usemtl", "mtllib", "l", "p", blank lines and comments are
// skipped; a line ending in "\" continues on the next one. With keepFaces
// false the faces are checked but not stored. On failure returns false with
// error naming the file and line.
bool readObjMesh(const std::string& fileName, bool keepFaces, ObjMesh& mesh, std::string& error);

// The mesh in the rest-pose format: "v x y z" lines then "f a b c" lines
// (1-based). digits as for appendReal (0 = exact).
std::string formatRestPose(const ObjMesh& mesh, int digits);
