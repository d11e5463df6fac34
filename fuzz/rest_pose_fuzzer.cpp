// Fuzzes the rest-pose reader and the neighbourhood built from what it read.
// Every input is also read by a plain stream-based reading of the same
// record grammar ("v" and three reals, "f" and three vertex numbers from 1
// to the vertex count); both must agree on success and, on success, hold the
// same vertices bit for bit and the same triangles.
#include <cstring>
#include <locale>
#include <sstream>

#include "fuzz_input_file.h"
#include "io/neighbours.h"
#include "io/rest_pose_file.h"

namespace {

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof(double)) == 0;
}

// The grammar read through stream extraction. Returns false where the
// reader must fail.
bool readByStream(const std::uint8_t* data, std::size_t size, std::vector<double>& coordinates, Triangles& triangles)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size) + "\n");
    in.imbue(std::locale::classic());
    std::string word;
    while (in >> word) {
        if (word == "v") {
            for (int a = 0; a < 3; ++a) {
                double x;
                if (!(in >> x))
                    return false;
                coordinates.push_back(x);
            }
        } else if (word == "f") {
            std::array<int, 3> face;
            for (int& index : face) {
                if (!(in >> index) || index < 1)
                    return false;
                --index;
            }
            triangles.push_back(face);
        } else {
            return false;
        }
    }
    for (const auto& face : triangles)
        for (int index : face)
            if (std::size_t(index) >= coordinates.size() / 3)
                return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& fileName = fuzzInputFile(data, size);
    Matrix restPose;
    Triangles triangles;
    std::string error;
    const bool ok = readRestPose(fileName, restPose, triangles, error);

    FUZZ_CHECK(ok == error.empty(), error.c_str());
    if (!ok) {
        FUZZ_CHECK(error.rfind(fileName + ": ", 0) == 0, error.c_str());
        FUZZ_CHECK(error.find('\n') == std::string::npos, error.c_str());
    }

    std::vector<double> coordinates;
    Triangles expectedTriangles;
    const bool streamOk = readByStream(data, size, coordinates, expectedTriangles);
    FUZZ_CHECK(ok == streamOk, ok ? "accepted what stream extraction refuses" : error.c_str());
    if (!ok)
        return 0;
    FUZZ_CHECK(restPose.size() * 3 == coordinates.size(), "vertex count differs from stream extraction");
    for (std::size_t v = 0; v < restPose.size(); ++v) {
        FUZZ_CHECK(restPose[v].size() == 3, "a vertex is not a 3-vector");
        for (std::size_t a = 0; a < 3; ++a)
            FUZZ_CHECK(sameBits(restPose[v][a], coordinates[3 * v + a]), "a coordinate differs from stream extraction");
    }
    FUZZ_CHECK(triangles == expectedTriangles, "triangles differ from stream extraction");

    // Indices were checked by the reader, so building never goes out of range.
    std::vector<std::vector<int>> neighbours;
    buildNeighbours(int(restPose.size()), triangles, neighbours);
    FUZZ_CHECK(neighbours.size() == restPose.size(), "one neighbour list per vertex");
    std::size_t entries = 0, selfEntries = 0;
    for (std::size_t v = 0; v < neighbours.size(); ++v)
        for (int u : neighbours[v]) {
            FUZZ_CHECK(u >= 0 && std::size_t(u) < neighbours.size(), "neighbour index out of range");
            ++entries;
            selfEntries += std::size_t(u) == v;
        }
    // Every edge a ≠ b is listed at both ends, an edge {a, a} twice in a's list.
    FUZZ_CHECK(entries % 2 == 0 && selfEntries % 2 == 0, "an edge is listed at one end only");
    FUZZ_CHECK(entries <= triangles.size() * 6, "more neighbour entries than edge occurrences");
    return 0;
}
