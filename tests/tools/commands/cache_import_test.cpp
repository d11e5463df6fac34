#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <sstream>

#include "formats/point_cache.h"
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
    std::vector<float> zUp, moved, yTurn;
    for (std::size_t i = 0; i < kRestXyz.size(); i += 3) {
        const float x = kRestXyz[i], y = kRestXyz[i + 1], z = kRestXyz[i + 2];
        zUp.insert(zUp.end(), {x, -z, y}); // the cache as Blender holds it, before the OBJ export's turn
        moved.insert(moved.end(), {x + 1, y + 2, z + 3});
        yTurn.insert(yTurn.end(), {-z, y, x});
    }
    const struct {
        std::string file, options, warning;
        std::vector<float> frame0;
    } cases[] = {
        {dir.file("a.pc2", pc2(4, 1, kRestXyz)), "", "", kRestXyz},
        {dir.file("b.mdd", mdd(1, 4, zUp)), "", "turning (x, y, z) -> (x, z, -y); the cache looks Z-up while the rest mesh is Y-up: --z-up turns it", zUp},
        {dir.file("c.mdd", mdd(1, 4, zUp)), " --z-up", "", kRestXyz},
        {dir.file("d.pc2", pc2(4, 1, moved)), "", "only after moving it by (-1, -2, -3); export both in the same space", moved},
        {dir.file("e.pc2", pc2(4, 1, yTurn)), "", "turning (x, y, z) -> (z, y, -x); export the cache and the rest mesh with the same axis settings", yTurn},
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
        EXPECT_EQ(readWholeFile(dir.at("o.rest.obj")), "v 0 0 0\nv 1 0 0\nv 1 2 0\nv 0 1 3\nf 1 2 3\nf 1 3 4\n");
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
        {" import-mdd four.mdd --rest none.obj", "cannot open none.obj"},
        {" import-mdd four.mdd --rest rest.obj --z-down", "unknown option --z-down"},
        {" import-mdd four.mdd", "import-mdd needs the cache, --rest, --anim and --rest-out"},
        {" import-gltf a.glb b.glb", "import-gltf reads one file; b.glb is one too many"},
        {" import-gltf none.glb --fps 0", "invalid frame rate 0"},
        {" import-gltf none.glb", "none.glb: cannot open"},
    };
    for (const auto& [args, message] : cases) {
        const CommandResult r = runCommand(dir, convert + args + " --anim o.anim.txt --rest-out o.rest.obj");
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_FALSE(std::ifstream(dir.at("o.anim.txt")) || std::ifstream(dir.at("o.rest.obj"))) << args;
    }
}

#endif

} // namespace
