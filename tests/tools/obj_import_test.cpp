#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "obj_mesh.h"
#include "tool_test_support.h"

namespace {

using tooltest::quote;
using tooltest::ScratchDir;

TEST(ObjMesh, ReadsPolygonsInEveryCornerFormAndSkipsTheRest)
{
    ScratchDir dir;
    tooltest::writeText(dir / "m.obj",
                        "# exported\r\nmtllib m.mtl\no thing\ng body\n"
                        "v 0 0 0\nv 1 0 0 1.0\nv 1 1 0 0.5 0.5 0.5\nv 0 1 0\nv 0.5 2 \\\n 0\n"
                        "vt 0 0\nvt 1 0\nvn 0 0 1\nvp 0.5\ns 1\nusemtl skin\n"
                        "f 1/1/1 2/2/1 3//1 4/1 -1\n"   // a pentagon, the last corner relative
                        "l 1 2\n\n"
                        "f -5 -4 -3\n");
    ObjMesh mesh;
    std::string error;
    ASSERT_TRUE(readObjMesh(dir / "m.obj", true, mesh, error)) << error;
    EXPECT_EQ(mesh.positions, std::vector<double>({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 2, 0}));
    // The pentagon as a fan from its first corner, then the triangle.
    EXPECT_EQ(mesh.triangles, std::vector<int>({0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 1, 2}));
    ASSERT_TRUE(readObjMesh(dir / "m.obj", false, mesh, error)) << error;
    EXPECT_TRUE(mesh.triangles.empty());
    EXPECT_EQ(mesh.positions.size(), 15u);
    // Faces may come before the vertices they use.
    tooltest::writeText(dir / "late.obj", "f 1 2 3\nv 0 0 0\nv 1 0 0\nv 0 1 0\n");
    ASSERT_TRUE(readObjMesh(dir / "late.obj", true, mesh, error)) << error;
    EXPECT_EQ(mesh.triangles, std::vector<int>({0, 1, 2}));
}

TEST(ObjMesh, BadRecordsAreRefusedWithFileAndLine)
{
    ScratchDir dir;
    const std::string head = "# c\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
    const std::pair<std::string, std::string> cases[] = {
        {"v 1 2 x\n", ":5: invalid number 'x'"},
        {"v 1 2\n", ":5: a vertex needs three coordinates"},
        {"v 1 nan 2\n", ":5: invalid number 'nan'"},
        {"f 1 2\n", ":5: a face needs at least three vertices"},
        {"f 1 2 0\n", ":5: face vertex index 0"},
        {"f 1 2 -4\n", ":5: face vertex -4 reaches before the first vertex"},
        {"f 1 2 3/4/5/6\n", ":5: invalid face vertex '3/4/5/6'"},
        {"f 1 2 3x\n", ":5: invalid face vertex '3x'"},
        {"f 1 2 3\nf 1 2 9\nv 1 1 1\n", ":6: face refers to vertex 9 but the file has 4 vertices"},
        {"curv 0 1 1 2\n", ":5: unsupported record 'curv'"},
    };
    for (const auto& [tail, message] : cases) {
        tooltest::writeText(dir / "bad.obj", head + tail);
        ObjMesh mesh;
        std::string error;
        EXPECT_FALSE(readObjMesh(dir / "bad.obj", true, mesh, error)) << tail;
        EXPECT_EQ(error.rfind((dir / "bad.obj") + message, 0), 0u) << error;
    }
    ObjMesh mesh;
    std::string error;
    EXPECT_FALSE(readObjMesh(dir / "none.obj", true, mesh, error));
    EXPECT_NE(error.find("cannot open " + (dir / "none.obj")), std::string::npos) << error;
}

#ifdef TOLVAN_CONVERT

std::string convert(const std::string& args) { return std::string(TOLVAN_CONVERT) + " " + args; }

// The example's frames as a user would hold them: one OBJ file per frame
// with comments, groups, texture coordinates, normals, quads where two
// triangles share a diagonal, and some relative indices.
void writeObjFrames(const ScratchDir& dir, const std::string& restText, const std::string& animText, std::vector<std::string>& files)
{
    std::vector<std::array<int, 3>> triangles;
    std::istringstream rest(restText);
    std::string key;
    while (rest >> key) {
        if (key == "v") {
            double x;
            rest >> x >> x >> x;
        } else {
            std::array<int, 3> t;
            rest >> t[0] >> t[1] >> t[2];
            triangles.push_back(t);
        }
    }
    std::istringstream anim(animText);
    int nF = 0, nV = 0;
    anim >> nF >> nV;
    for (int f = 0; f < nF; ++f) {
        std::ostringstream obj;
        obj << "# frame " << f << "\nmtllib creature.mtl\no creature\n";
        for (int v = 0; v < nV; ++v) {
            std::string x, y, z;
            anim >> x >> y >> z;
            obj << "v " << x << " " << y << " " << z << "\n";
        }
        obj << "vt 0.5 0.5\nvn 0 1 0\ng body\ns off\nusemtl skin\n";
        for (std::size_t t = 0; t < triangles.size(); ++t) {
            const auto& a = triangles[t];
            if (t + 1 < triangles.size() && triangles[t + 1][0] == a[0] && triangles[t + 1][1] == a[2]) {
                obj << "f " << a[0] << "/1/1 " << a[1] << "/1/1 " << a[2] << "//1 " << triangles[t + 1][2] << "/1\n";
                ++t;
            } else {
                obj << "f " << a[0] - nV - 1 << " " << a[1] << " " << a[2] << "\n";
            }
        }
        char name[32];
        std::snprintf(name, sizeof name, "frame_%d.obj", f + 1);
        files.push_back(dir / name);
        tooltest::writeText(files.back(), obj.str());
    }
}

std::vector<double> numbers(const std::string& text, std::string* rest = nullptr)
{
    std::istringstream in(text);
    std::vector<double> out;
    std::string token;
    while (in >> token) {
        if (token == "v" || token == "f") {
            if (rest)
                *rest += token;
            continue;
        }
        out.push_back(std::stod(token));
    }
    return out;
}

TEST(ObjImport, RoundTripsTheExampleWrittenAsObjFrames)
{
    ScratchDir dir;
    auto r = tooltest::runCommand(dir, std::string(TOLVAN_MAKE_EXAMPLE) + " --frames 20 " + quote(dir / "ex"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string restText = tooltest::readText(dir / "ex/creature.rest.obj");
    const std::string animText = tooltest::readText(dir / "ex/creature.anim.txt");
    std::vector<std::string> frames;
    writeObjFrames(dir, restText, animText, frames);
    std::string args = "import-obj --rest " + quote(frames[0]) + " --anim " + quote(dir / "out.anim.txt") + " --rest-out " +
                       quote(dir / "out.rest.obj");
    for (const std::string& f : frames)
        args += " " + quote(f);
    r = tooltest::runCommand(dir, convert(args));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("(20 frames of 1766 vertices)"), std::string::npos) << r.out;
    // The same numbers, exactly; the same triangles in the same order.
    EXPECT_EQ(numbers(tooltest::readText(dir / "out.anim.txt")), numbers(animText));
    std::string keysIn, keysOut;
    std::vector<double> restIn = numbers(restText, &keysIn), restOut = numbers(tooltest::readText(dir / "out.rest.obj"), &keysOut);
    EXPECT_EQ(keysIn, keysOut);
    // The rest pose written is frame 1's positions with the example's triangles.
    std::vector<double> anim = numbers(animText);
    std::size_t k = 0, a = 2;
    std::istringstream restLines(tooltest::readText(dir / "out.rest.obj"));
    std::istringstream originalLines(restText);
    std::string line, original;
    while (std::getline(restLines, line) && std::getline(originalLines, original)) {
        if (line[0] == 'f') {
            EXPECT_EQ(line, original);
            continue;
        }
        std::vector<double> v = numbers(line);
        ASSERT_EQ(v.size(), 3u);
        for (double x : v)
            EXPECT_EQ(x, anim[a++]) << "value " << k;
        ++k;
    }
    EXPECT_EQ(k, 1766u);
}

TEST(ObjImport, ABadFrameStopsTheImportAndLeavesTheOutputsAsTheyWere)
{
    ScratchDir dir;
    tooltest::writeText(dir / "rest.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
    tooltest::writeText(dir / "f1.obj", "v 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n");
    tooltest::writeText(dir / "f2.obj", "v 0 0 2\nv 1 0 2\nv 1 1 2\n");
    tooltest::writeText(dir / "f3.obj", "v 0 0 2\nv 1 0 2\nv 1 1 2\nv 0 1 2\nf 1 2 5\n");
    tooltest::writeText(dir / "out.anim.txt", "old");
    tooltest::writeText(dir / "out.rest.obj", "old");
    const std::string outputs = " --anim " + quote(dir / "out.anim.txt") + " --rest-out " + quote(dir / "out.rest.obj");
    const std::pair<std::string, std::string> cases[] = {
        {"--rest " + quote(dir / "rest.obj") + outputs + " " + quote(dir / "f1.obj") + " " + quote(dir / "f2.obj"),
         (dir / "f2.obj") + ": 3 vertices, but the rest mesh " + (dir / "rest.obj") + " has 4"},
        {"--rest " + quote(dir / "rest.obj") + outputs + " " + quote(dir / "f3.obj"), (dir / "f3.obj") + ":5: face refers to vertex 5"},
        {"--rest " + quote(dir / "f2.obj") + outputs + " " + quote(dir / "missing.obj"), "cannot open " + (dir / "missing.obj")},
        {"--rest " + quote(dir / "rest.obj") + outputs, "needs at least one frame file"},
        {"--rest " + quote(dir / "rest.obj") + " " + quote(dir / "f1.obj"), "needs --rest, --anim and --rest-out"},
        {"--rest " + quote(dir / "rest.obj") + outputs + " --fps 3 " + quote(dir / "f1.obj"), "unknown option --fps"},
    };
    for (const auto& [args, message] : cases) {
        auto r = tooltest::runCommand(dir, convert("import-obj " + args));
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(tooltest::readText(dir / "out.anim.txt"), "old");
        EXPECT_EQ(tooltest::readText(dir / "out.rest.obj"), "old");
    }
    // Nothing else was left in the folder (no temporary files).
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        files += entry.path().filename().string().find(".tmp") != std::string::npos;
    EXPECT_EQ(files, 0);
    // A good run replaces both, the quad split into two triangles.
    auto r = tooltest::runCommand(dir, convert("import-obj --rest " + quote(dir / "rest.obj") + outputs + " " + quote(dir / "f1.obj")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(tooltest::readText(dir / "out.anim.txt"), "1 4\n0 0 1\n1 0 1\n1 1 1\n0 1 1\n");
    EXPECT_EQ(tooltest::readText(dir / "out.rest.obj"), "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n");
}

#endif

} // namespace
