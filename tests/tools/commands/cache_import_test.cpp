#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <sstream>

#include "commands/frame_order.h"
#include "formats/obj_mesh.h"
#include "formats/point_cache.h"
#include "io/sequence_file.h"
#include "io/io_test_files.h"

namespace {

// v as four bytes, little-endian or big-endian.
std::string le32(std::uint32_t v, bool big = false)
{
    std::string s(4, '\0');
    for (int k = 0; k < 4; ++k)
        s[std::size_t(big ? 3 - k : k)] = char((v >> (8 * k)) & 0xFF);
    return s;
}

std::string floats(const std::vector<float>& values, bool big = false)
{
    std::string s;
    for (float f : values)
        s += le32(std::bit_cast<std::uint32_t>(f), big);
    return s;
}

std::string pc2(std::uint32_t points, std::uint32_t samples, const std::vector<float>& xyz, std::uint32_t version = 1)
{
    return std::string("POINTCACHE2\0", 12) + le32(version) + le32(points) + floats({1, 1}) + le32(samples) + floats(xyz);
}

std::string mdd(std::uint32_t frames, std::uint32_t points, const std::vector<float>& xyz)
{
    std::vector<float> times(frames < 100 ? frames : 0, 0.04f);
    return le32(frames, true) + le32(points, true) + floats(times, true) + floats(xyz, true);
}

TEST(PointCache, ReadsBothFormatsAndRefusesHeadersTheFileCannotBack)
{
    ScratchFolder dir;
    const std::vector<float> two = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12.5f};
    const float nan = std::nanf("");
    const struct {
        bool isPc2;
        std::string bytes;
        const char* message; // "" = read
    } cases[] = {
        {true, pc2(2, 2, two), ""},
        {false, mdd(2, 2, two), ""},
        {true, pc2(2, 2, two).substr(0, 20), "header: 20 bytes, fewer than the 32 of a PC2 header"},
        {true, "POINTCACHE3" + pc2(2, 2, two).substr(11), "header: not a PC2 file"},
        {true, pc2(2, 2, two, 2), "header: version 2 (only 1 is read)"},
        {true, pc2(0, 2, two), "header: point count 0 must be at least 1"},
        {true, pc2(2, 0x7FFFFFFF, two), "but the header announces 2147483647 frames of 2 points (more bytes than the file has)"},
        {true, pc2(2, 2, two) + "x", "81 bytes, but the header announces 2 frames of 2 points (80 bytes)"},
        {true, pc2(2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, nan, 11, 12}), "frame 1, point 1: not a finite number"},
        {false, mdd(2, 2, two).substr(0, 6), "header: 6 bytes, fewer than the 8 of an MDD header"},
        {false, mdd(0x7FFFFFFF, 2, two), "header: 2147483647 frames need more bytes than the file's"},
        {false, mdd(2, 0xFFFFFFFF, two), "header: point count -1 must be at least 1"},
        {false, mdd(2, 3, two), "64 bytes, but the header announces 2 frames of 3 points (more bytes than the file has)"},
    };
    for (const auto& c : cases) {
        const std::string file = dir.file("c.cache", c.bytes);
        PointCache cache;
        std::string error;
        const bool ok = c.isPc2 ? readPc2(file, cache, error) : readMdd(file, cache, error);
        EXPECT_EQ(ok, c.message[0] == '\0') << c.message << ": " << error;
        if (ok) {
            EXPECT_EQ(cache.numFrames * cache.numPoints, 4u);
            EXPECT_EQ(cache.frames, std::vector<double>(two.begin(), two.end()));
        } else {
            EXPECT_EQ(error.find(file + ": "), 0u) << error;
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
        }
    }
}

#ifdef TOLVAN_CONVERT

const std::string convert = quote(TOLVAN_CONVERT);
const std::string kRest = "v 0 0 0\nv 1 0 0\nv 1 2 0\nv 0 1 3\nf 1 2 3 4\n";
const std::vector<float> kRestXyz = {0, 0, 0, 1, 0, 0, 1, 2, 0, 0, 1, 3};

TEST(CacheImport, WritesTheFramesAndWarnsWhenFrameZeroIsTurnedOrMoved)
{
    ScratchFolder dir;
    dir.file("rest.obj", kRest);
    std::vector<float> zUp, moved, yTurn, big;
    for (std::size_t i = 0; i < kRestXyz.size(); i += 3) {
        const float x = kRestXyz[i], y = kRestXyz[i + 1], z = kRestXyz[i + 2];
        zUp.insert(zUp.end(), {x, -z, y}); // the cache as Blender holds it, before the OBJ export's turn
        moved.insert(moved.end(), {x + 1, y + 2, z + 3});
        yTurn.insert(yTurn.end(), {-z, y, x});
        big.insert(big.end(), {x * 100, y * 100, z * 100}); // centimetres against metres
    }
    const std::string bigRest = "v 0 0 0\nv 100 0 0\nv 100 200 0\nv 0 100 300\nf 1 2 3\nf 1 3 4\n";
    const struct {
        std::string file, options, warning;
        std::vector<float> frame0;
        std::string rest = ""; // "" = rest.obj's
    } cases[] = {
        {dir.file("a.pc2", pc2(4, 1, kRestXyz)), "", "", kRestXyz},
        {dir.file("b.mdd", mdd(1, 4, zUp)), "", "turning (x, y, z) -> (x, z, -y); the cache looks Z-up while the rest mesh is Y-up: --z-up turns it", zUp},
        {dir.file("c.mdd", mdd(1, 4, zUp)), " --z-up", "", kRestXyz},
        {dir.file("d.pc2", pc2(4, 1, moved)), "", "only after moving it by (-1, -2, -3); export both in the same space", moved},
        {dir.file("e.pc2", pc2(4, 1, yTurn)), "", "turning (x, y, z) -> (z, y, -x); export the cache and the rest mesh with the same axis settings", yTurn},
        {dir.file("f.pc2", pc2(4, 1, big)), "", "the frames are 100 and 100 times the size of the rest pose", big},
        {dir.file("f.pc2", pc2(4, 1, big)), " --rest-pose frame:0", "", big, bigRest},
    };
    for (const auto& c : cases) {
        const std::string command = c.file.substr(c.file.size() - 3) == "pc2" ? " import-pc2 " : " import-mdd ";
        const CommandResult r = runCommand(dir, convert + command + quote(c.file) + c.options + " --rest rest.obj --anim o.anim.txt --rest-out o.rest.obj");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err.empty(), c.warning.empty()) << r.err;
        EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
        std::ostringstream expected;
        expected << "1 4\n";
        for (std::size_t i = 0; i < 12; i += 3)
            expected << c.frame0[i] << " " << c.frame0[i + 1] << " " << c.frame0[i + 2] << "\n";
        EXPECT_EQ(readWholeFile(dir.at("o.anim.txt")), expected.str()) << c.file;
        EXPECT_EQ(readWholeFile(dir.at("o.rest.obj")), c.rest.empty() ? "v 0 0 0\nv 1 0 0\nv 1 2 0\nv 0 1 3\nf 1 2 3\nf 1 3 4\n" : c.rest);
    }
}

TEST(CacheImport, RefusesMismatchesAndWritesNothing)
{
    ScratchFolder dir;
    dir.file("rest.obj", kRest);
    dir.file("three.pc2", pc2(3, 1, {0, 0, 0, 1, 0, 0, 1, 2, 0}));
    dir.file("four.mdd", mdd(1, 4, kRestXyz));
    const std::pair<std::string, std::string> cases[] = {
        {" import-pc2 three.pc2 --rest rest.obj", "three.pc2: 3 points, but the rest mesh rest.obj has 4 vertices"},
        {" import-mdd four.mdd --rest rest.obj --rest-pose frame:1", "--rest-pose frame:1: the animation has 1 frames, numbered from 0"},
        {" import-mdd four.mdd --rest none.obj", "cannot open none.obj"},
        {" import-mdd four.mdd", "import-mdd: needs --rest REST.obj"},
        {" import-gltf none.glb", "none.glb: cannot open"},
    };
    for (const auto& [args, message] : cases) {
        const CommandResult r = runCommand(dir, convert + args + " --anim o.anim.txt --rest-out o.rest.obj");
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_FALSE(std::ifstream(dir.at("o.anim.txt")) || std::ifstream(dir.at("o.rest.obj"))) << args;
    }
}


// The bundled creature written as triangle soup (every triangle its own three
// vertices) comes back whole, and the vertex map finds each input vertex in
// it; unwelded, Tolvan names the pieces.
TEST(CacheImport, WeldsTriangleSoupBackToTheMeshItCameFrom)
{
    ScratchFolder dir;
    ASSERT_EQ(runCommand(dir, quote(TOLVAN_MAKE_EXAMPLE) + " ex").exitCode, 0);
    ObjMesh mesh;
    PointTable anim;
    std::string error;
    ASSERT_TRUE(readObjMesh(dir.at("ex/creature.rest.obj"), true, mesh, error) && readSequence(dir.at("ex/creature.anim.txt"), anim, error));
    const std::size_t frames = 3, corners = mesh.triangles.size();
    std::ostringstream soupRest;
    std::vector<float> soupFrames;
    soupRest.precision(17);
    for (std::size_t c = 0; c < corners; ++c) {
        const std::size_t v = std::size_t(mesh.triangles[c]);
        soupRest << "v " << mesh.positions[v * 3] << " " << mesh.positions[v * 3 + 1] << " " << mesh.positions[v * 3 + 2] << "\n";
    }
    for (std::size_t f = 0; f < frames; ++f)
        for (std::size_t c = 0; c < corners; ++c) {
            const double* p = &anim.values[(f * std::size_t(anim.columns) + std::size_t(mesh.triangles[c])) * 3];
            soupFrames.insert(soupFrames.end(), {float(p[0]), float(p[1]), float(p[2])});
        }
    for (std::size_t t = 0; t < corners; t += 3)
        soupRest << "f " << t + 1 << " " << t + 2 << " " << t + 3 << "\n";
    dir.file("soup.obj", soupRest.str());
    dir.file("soup.pc2", pc2(std::uint32_t(corners), frames, soupFrames));
    const std::string outputs = " --anim o.anim.txt --rest-out o.rest.obj --vertex-map o.map";
    const struct {
        std::string command, counts;
        std::size_t vertices;
    } cases[] = {
        {" import-pc2 soup.pc2 --rest soup.obj", "10,584 -> 1,766 vertices", 1766},
        {" import-pc2 soup.pc2 --no-weld --rest soup.obj", "", corners},
    };
    for (const auto& c : cases) {
        const CommandResult r = runCommand(dir, convert + c.command + outputs);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.find("Welded vertices that coincide in every frame: " + c.counts) != std::string::npos, !c.counts.empty()) << r.out;
        ObjMesh written;
        PointTable sequence;
        ASSERT_TRUE(readObjMesh(dir.at("o.rest.obj"), true, written, error) && readSequence(dir.at("o.anim.txt"), sequence, error));
        ASSERT_EQ(written.positions.size(), c.vertices * 3);
        EXPECT_EQ(written.triangles.size(), corners);
        std::istringstream map(readWholeFile(dir.at("o.map")));
        std::size_t lines = 0;
        for (std::size_t to; map >> to; ++lines) {
            ASSERT_LT(to, c.vertices);
            const std::size_t from = std::size_t(mesh.triangles[lines]);
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_EQ(written.positions[to * 3 + k], mesh.positions[from * 3 + k]);
                EXPECT_EQ(sequence.values[(2 * c.vertices + to) * 3 + k], float(anim.values[(2 * std::size_t(anim.columns) + from) * 3 + k]));
            }
        }
        EXPECT_EQ(lines, corners);
    }
    const CommandResult refused = runCommand(dir, quote(TOLVAN_EXECUTABLE) + " o.anim.txt o.rest.obj o.rig.txt");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("no bone could be fitted: 10,584 vertices in 3,528 pieces of at most 3;"), std::string::npos) << refused.err;
}

#endif

TEST(ObjMesh, ReadsPolygonsInEveryCornerFormAndRefusesBadRecords)
{
    ScratchFolder dir;
    const std::string name = dir.file("m.obj", "# exported\r\nmtllib m.mtl\no thing\ng body\n"
                                               "v 0 0 0\nv 1 0 0 1.0\nv 1 1 0 0.5 0.5 0.5\nv 0 1 0\nv 0.5 2 \\\n 0\n"
                                               "vt 0 0\nvt 1 0\nvn 0 0 1\nvp 0.5\ns 1\nusemtl skin\n"
                                               "f 1/1/1 2/2/1 3//1 4/1 -1\n" // a pentagon, the last corner relative
                                               "l 1 2\n\nf -5 -4 -3\n");
    ObjMesh mesh;
    std::string error;
    ASSERT_TRUE(readObjMesh(name, true, mesh, error)) << error;
    EXPECT_EQ(mesh.positions, std::vector<double>({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 2, 0}));
    // The pentagon as a fan from its first corner, then the triangle.
    EXPECT_EQ(mesh.triangles, std::vector<int>({0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 1, 2}));
    ASSERT_TRUE(readObjMesh(name, false, mesh, error)) << error;
    EXPECT_TRUE(mesh.triangles.empty() && mesh.positions.size() == 15u);
    // Faces may come before the vertices they use.
    ASSERT_TRUE(readObjMesh(dir.file("late.obj", "f 1 2 3\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"), true, mesh, error)) << error;
    EXPECT_EQ(mesh.triangles, std::vector<int>({0, 1, 2}));

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
        {"", "cannot open "},
    };
    for (const auto& [tail, message] : cases) {
        const std::string bad = tail.empty() ? dir.at("none.obj") : dir.file("bad.obj", "# c\nv 0 0 0\nv 1 0 0\nv 0 1 0\n" + tail);
        EXPECT_FALSE(readObjMesh(bad, true, mesh, error)) << tail;
        EXPECT_NE(error.find(tail.empty() ? message + bad : bad + message), std::string::npos) << error;
    }
}

const std::string importObj = quote(TOLVAN_CONVERT) + " import-obj ";

TEST(ObjImport, ABadFrameStopsTheImportAndLeavesTheOutputsAsTheyWere)
{
    ScratchFolder dir;
    dir.file("rest.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
    dir.file("f1.obj", "v 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n");
    dir.file("f2.obj", "v 0 0 2\nv 1 0 2\nv 1 1 2\n");
    dir.file("f3.obj", "v 0 0 2\nv 1 0 2\nv 1 1 2\nv 0 1 2\nf 1 2 5\n");
    dir.file("seq.anim.txt", "1 4\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n");
    dir.file("out.anim.txt", "old");
    dir.file("out.rest.obj", "old");
    const std::string outputs = " --anim out.anim.txt --rest-out out.rest.obj ";
    const std::pair<std::string, std::string> cases[] = {
        {"--rest rest.obj" + outputs + "f1.obj f2.obj", "f2.obj: 3 vertices, but the rest mesh rest.obj has 4"},
        {"--rest rest.obj" + outputs + "f3.obj", "f3.obj:5: face refers to vertex 5"},
        {"--rest f2.obj" + outputs + "missing.obj", "cannot open missing.obj"},
        // A file of the wrong kind is named with what it looks like.
        {"--rest seq.anim.txt" + outputs + "f1.obj", "seq.anim.txt looks like an animation sequence (Tolvan's input), but --rest should be a rest mesh (OBJ)"},
        {"--rest rest.obj" + outputs + "f1.obj seq.anim.txt", "seq.anim.txt looks like an animation sequence (Tolvan's input), but every frame should be"},
    };
    for (const auto& [args, message] : cases) {
        CommandResult r = runCommand(dir, importObj + args);
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(readWholeFile(dir.at("out.anim.txt")) + readWholeFile(dir.at("out.rest.obj")), "oldold");
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path)) // no temporary files
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    // A good run replaces both: frames in the order given, numbers exactly, the quad as two triangles.
    dir.file("f4.obj", "v 0 0 4\nv 1 0 4\nv 1 1 4\nv 0 1 0.30000000000000004\nf 1 2 3\n");
    CommandResult r = runCommand(dir, importObj + "--rest rest.obj" + outputs + "f4.obj f1.obj");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("(2 frames of 4 vertices)"), std::string::npos) << r.out;
    EXPECT_EQ(readWholeFile(dir.at("out.anim.txt")), "2 4\n0 0 4\n1 0 4\n1 1 4\n0 1 0.30000000000000004\n0 0 1\n1 0 1\n1 1 1\n0 1 1\n");
    EXPECT_EQ(readWholeFile(dir.at("out.rest.obj")), "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n");
}

TEST(ObjImport, WarnsWhenTheNumbersInFrameNamesGoBackwards)
{
    const std::pair<std::vector<std::string>, long> cases[] = {
        {{"walk_1.obj", "walk_2.obj", "walk_10.obj"}, -1},
        {{"walk_1.obj", "walk_10.obj", "walk_2.obj"}, 1}, // what a shell glob gives
        {{"a/walk_0002.obj", "b/walk_10.obj"}, -1},       // zeros and folders do not count
        {{"walk_9.obj", "run_1.obj"}, -1},                // different names
        {{"take2_f9.obj", "take10_f1.obj", "take3_f1.obj"}, 1},
        {{"f.obj", "f.obj"}, -1},
    };
    for (const auto& [files, expected] : cases)
        EXPECT_EQ(firstFrameOutOfOrder(files), expected) << files[0] << " " << files[1];
    ScratchFolder dir;
    for (const char* name : {"w_1.obj", "w_2.obj", "w_10.obj"})
        dir.file(name, "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n");
    CommandResult r = runCommand(dir, importObj + "--rest w_1.obj --anim a.txt --rest-out r.obj w_1.obj w_10.obj w_2.obj");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("w_10.obj comes before w_2.obj; to order them by the numbers in their names, list them with `ls -v`"),
              std::string::npos) << r.err;
    EXPECT_EQ(runCommand(dir, importObj + "--rest w_1.obj --anim a.txt --rest-out r.obj w_1.obj w_2.obj w_10.obj").err, "");
}

} // namespace
