// Files made by Blender the way users make them, imported by every importer
// and compared with Blender's own evaluation of the same frames.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "io/io_test_files.h"

#ifdef TOLVAN_CONVERT

namespace {

// "FRAMES VERTICES" then x y z per vertex per frame (Tolvan's sequence layout).
std::vector<double> readFrames(const std::string& file, std::size_t& frames, std::size_t& vertices)
{
    std::ifstream in(file);
    in >> frames >> vertices;
    std::vector<double> values(frames * vertices * 3);
    for (double& v : values)
        in >> v;
    EXPECT_TRUE(in) << file;
    return values;
}

std::vector<double> restPositions(const std::string& file)
{
    std::ifstream in(file);
    std::vector<double> values;
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("v ", 0) == 0) {
            std::istringstream v(line.substr(2));
            double x, y, z;
            v >> x >> y >> z;
            values.insert(values.end(), {x, y, z});
        }
    return values;
}

// Largest distance between frames (vertex v of an import is vertex map[v]
// of Blender's) relative to the box diagonal of Blender's first frame.
double largestDifference(const std::vector<double>& got, const std::vector<double>& blender, const std::vector<std::size_t>& map,
                         std::size_t frames, std::size_t vertices)
{
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300}, worst = 0.0;
    for (std::size_t i = 0; i < vertices * 3; ++i) {
        lo[i % 3] = std::min(lo[i % 3], blender[i]);
        hi[i % 3] = std::max(hi[i % 3], blender[i]);
    }
    for (std::size_t f = 0; f < frames; ++f)
        for (std::size_t v = 0; v < map.size(); ++v) {
            const double* a = &got[(f * map.size() + v) * 3];
            const double* b = &blender[(f * vertices + map[v]) * 3];
            worst = std::max(worst, std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]));
        }
    return worst / std::hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
}

TEST(ClientBlenderImport, EveryImporterMatchesBlendersOwnEvaluation)
{
    if (std::system("command -v blender > /dev/null 2>&1") != 0) {
        const char* ci = std::getenv("CI");
        const std::string why = "blender is not installed; install with: apt-get install -y blender python3-numpy";
        if (ci && std::string(ci) == "true")
            FAIL() << why;
        GTEST_SKIP() << why;
    }
    ScratchFolder dir;
    const CommandResult made = runCommand(dir, "blender -b --factory-startup --python " +
                                                   quote(std::string(TOLVAN_TOOLS_DIR) + "/clients/blender_make_caches.py") + " -- bl");
    ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    std::size_t frames = 0, vertices = 0, f = 0, v = 0;
    std::vector<double> blender = readFrames(dir.at("bl/positions.txt"), frames, vertices);
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
        const std::vector<double> got = readFrames(dir.at(name + ".anim.txt"), f, v);
        ASSERT_EQ(f, frames) << name;
        // The caches keep Blender's vertex order; glTF vertices are matched
        // by their rest position (welding renumbers them).
        std::vector<std::size_t> map(v);
        const std::vector<double> rest = restPositions(dir.at(name + ".rest.obj"));
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
        const double difference = largestDifference(got, blender, map, frames, vertices);
        EXPECT_LE(difference, 1e-6) << name;
        std::cout << name << ": largest difference from Blender " << difference << " of the box diagonal; " << r.out;
    }
}

} // namespace

#endif
