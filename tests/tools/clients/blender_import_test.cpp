// Files made by Blender the way users make them, imported by every importer
// and compared with Blender's own evaluation of the same frames.
#include <gtest/gtest.h>

#include <cmath>

#include "io/io_test_files.h"
#include "tools/client_skip.h"
#include "tools/skinning_check.h"

#ifdef TOLVAN_CONVERT

namespace {

// Largest distance between frames (vertex v of an import is vertex map[v]
// of Blender's) relative to the box diagonal of Blender's first frame.
double largestDifference(const std::vector<double>& got, const std::vector<double>& blender, const std::vector<std::size_t>& map,
                         std::size_t frames, std::size_t vertices)
{
    double worst = 0.0;
    for (std::size_t f = 0; f < frames; ++f)
        for (std::size_t v = 0; v < map.size(); ++v) {
            const double* a = &got[(f * map.size() + v) * 3];
            const double* b = &blender[(f * vertices + map[v]) * 3];
            worst = worseDistance(worst, std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]));
        }
    return worst / boxDiagonal(blender, vertices);
}

TEST(ClientBlenderImport, EveryImporterMatchesBlendersOwnEvaluation)
{
    TOLVAN_NEED_CLIENT(std::system("command -v blender > /dev/null 2>&1") == 0 ? "" : "blender is not installed",
                       "apt-get install -y blender python3-numpy");
    ScratchFolder dir;
    const CommandResult made = runCommand(dir, "blender -b --factory-startup --python " +
                                                   quote(std::string(TOLVAN_TOOLS_DIR) + "/clients/blender_make_caches.py") + " -- bl");
    ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    PointTable positions, imported;
    std::string error;
    ASSERT_TRUE(readSequence(dir.at("bl/positions.txt"), positions, error)) << error;
    const std::size_t frames = std::size_t(positions.rows), vertices = std::size_t(positions.columns);
    std::vector<double> blender = positions.values;
    ASSERT_EQ(frames, 12u);
    for (std::size_t i = 0; i < blender.size(); i += 3) { // Blender's Z-up to Y-up: (x, y, z) -> (x, z, -y)
        const double y = blender[i + 1];
        blender[i + 1] = blender[i + 2];
        blender[i + 2] = -y;
    }
    const std::string convert = quote(TOLVAN_CONVERT);
    const struct {
        const char* command;
        const char* name;
    } imports[] = {
        {" import-pc2 bl/anim.pc2 --rest bl/rest.obj", "pc2"},
        {" import-mdd bl/anim.mdd --z-up --rest bl/rest.obj", "mdd"},
        {" import-gltf bl/anim.glb --animation all", "gltf"},
    };
    for (const auto& im : imports) {
        const std::string name = im.name;
        const CommandResult r = runCommand(dir, convert + im.command + " --anim " + name + ".anim.txt --rest-out " + name + ".rest.obj");
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(r.err, "") << name; // no axis warning once the axes agree
        ASSERT_TRUE(readSequence(dir.at(name + ".anim.txt"), imported, error)) << error;
        ASSERT_EQ(std::size_t(imported.rows), frames) << name;
        const std::size_t v = std::size_t(imported.columns);
        // The caches keep Blender's vertex order; glTF vertices are matched
        // by their rest position (welding renumbers them).
        std::vector<std::size_t> map(v);
        ObjMesh restMesh;
        ASSERT_TRUE(readObjMesh(dir.at(name + ".rest.obj"), false, restMesh, error)) << error;
        const std::vector<double>& rest = restMesh.positions;
        for (std::size_t i = 0; i < v; ++i) {
            double best = 1e300;
            for (std::size_t j = 0; j < vertices; ++j) {
                const double d = std::hypot(rest[i * 3] - blender[j * 3], rest[i * 3 + 1] - blender[j * 3 + 1], rest[i * 3 + 2] - blender[j * 3 + 2]);
                if (d < best)
                    best = d, map[i] = j;
            }
            if (name != "gltf") {
                EXPECT_EQ(map[i], i) << name;
            }
        }
        if (name == "gltf") { // every face split apart by the export, welded back to Blender's vertices
            EXPECT_NE(r.out.find(" -> " + std::to_string(vertices) + "\n"), std::string::npos) << r.out;
        }
        const double difference = largestDifference(imported.values, blender, map, frames, vertices);
        EXPECT_LE(difference, 1e-6) << name;
        std::cout << name << ": largest difference from Blender " << difference << " of the box diagonal; " << r.out;
    }
}

} // namespace

#endif
