#include <gtest/gtest.h>

#include <sstream>

#include "io/io_test_files.h"
#include "commands/frame_order.h"
#include "formats/obj_mesh.h"

namespace {

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

const std::string convert = quote(TOLVAN_CONVERT) + " import-obj ";

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
        {"--rest rest.obj" + outputs, "needs at least one frame file"},
        {"--rest rest.obj f1.obj", "needs --rest, --anim and --rest-out"},
        {"--rest rest.obj" + outputs + "--fps 3 f1.obj", "unknown option --fps"},
        // A file of the wrong kind is named with what it looks like.
        {"--rest seq.anim.txt" + outputs + "f1.obj", "seq.anim.txt looks like an animation sequence (Tolvan's input), but --rest should be a rest mesh (OBJ)"},
        {"--rest rest.obj" + outputs + "f1.obj seq.anim.txt", "seq.anim.txt looks like an animation sequence (Tolvan's input), but every frame should be"},
    };
    for (const auto& [args, message] : cases) {
        CommandResult r = runCommand(dir, convert + args);
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(readWholeFile(dir.at("out.anim.txt")) + readWholeFile(dir.at("out.rest.obj")), "oldold");
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path)) // no temporary files
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    // A good run replaces both: frames in the order given, numbers exactly, the quad as two triangles.
    dir.file("f4.obj", "v 0 0 4\nv 1 0 4\nv 1 1 4\nv 0 1 0.30000000000000004\nf 1 2 3\n");
    CommandResult r = runCommand(dir, convert + "--rest rest.obj" + outputs + "f4.obj f1.obj");
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
    CommandResult r = runCommand(dir, convert + "--rest w_1.obj --anim a.txt --rest-out r.obj w_1.obj w_10.obj w_2.obj");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("w_10.obj comes before w_2.obj; to order them by the numbers in their names, list them with `ls -v`"),
              std::string::npos) << r.err;
    EXPECT_EQ(runCommand(dir, convert + "--rest w_1.obj --anim a.txt --rest-out r.obj w_1.obj w_2.obj w_10.obj").err, "");
}

} // namespace
