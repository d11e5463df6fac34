// The commands of tolvan-convert and their arguments, declared once: the
// parser, the usage text and the README's command list all follow this table.
#include "commands/command_table.h"

namespace {

constexpr ValueKind kFlag = ValueKind::Flag, kText = ValueKind::Text, kNumber = ValueKind::Number, kCount = ValueKind::Count;

// The two files every importer writes.
const OptionDecl kAnimOut = {"--anim", kText, "OUT.anim.txt", "", false, true, "", "the sequence file to write"};
const OptionDecl kRestOut = {"--rest-out", kText, "OUT.rest.obj", "", false, true, "", "the rest-pose file to write"};
const OptionDecl kNoWeld = {"--no-weld", kFlag, "", "", false, false, "", "keep vertices that coincide in the rest pose and every frame apart"};
const OptionDecl kVertexMap = {"--vertex-map", kText, "MAP.txt", "", false, false, "",
                               "write per input vertex (one a line) its index, from 0, in the written mesh"};
const OptionDecl kRestFromMesh = {"--rest-pose", ValueKind::Choice, "mesh|frame:N", "mesh", false, false, "mesh|frame:N",
                                  "the rest positions: the --rest mesh's, or frame N's (from 0) with the mesh's faces"};
const OptionDecl kRestIn = {"--rest", kText, "REST.obj", "", false, true, "", "the OBJ mesh in its rest pose"};

std::vector<CommandDecl> makeCommands()
{
    const OptionDecl zUp = {"--z-up", kFlag, "", "", false, false, "", "turn a Z-up cache to Y-up: (x, y, z) -> (x, z, -y)"};
    const CommandDecl cache = {"", {"CACHE"}, {kRestIn, kAnimOut, kRestOut, zUp, kNoWeld, kVertexMap, kRestFromMesh}, ""};
    CommandDecl pc2 = cache, mdd = cache;
    pc2.name = "import-pc2";
    pc2.positional = {"CACHE.pc2"};
    pc2.help = "A PC2 point cache and the OBJ mesh it was made from to Tolvan's sequence and rest-pose files.";
    mdd.name = "import-mdd";
    mdd.positional = {"CACHE.mdd"};
    mdd.help = "An MDD point cache and the OBJ mesh it was made from to Tolvan's sequence and rest-pose files.";
    return {
        {"import-obj",
         {"FRAME.obj..."},
         {kRestIn, kAnimOut, kRestOut, kNoWeld, kVertexMap, kRestFromMesh},
         "OBJ frames (read in the order given) to Tolvan's sequence and rest-pose files."},
        {"import-gltf",
         {"FILE.glb|FILE.gltf"},
         {kAnimOut, kRestOut,
          {"--animation", kText, "N|NAME|all", "", false, false, "", "the animation to sample, by index or name; all plays every one together (default: the first)"},
          {"--mesh", kText, "N|NAME", "", true, false, "", "a mesh to take, by index or name (default: every animated mesh, joined)"},
          {"--fps", kNumber, "F", "", false, false, "", "samples per second (default: the keys' own spacing, else 30)"},
          kNoWeld, kVertexMap,
          {"--rest-pose", ValueKind::Choice, "static|bind|frame:N", "static", false, false, "static|bind|frame:N",
           "the rest pose: as the file stands without animation, the raw bind-pose mesh, or frame N (from 0)"}},
         "The animated mesh of a glTF 2.0 file (skins, morph targets, node animation) sampled into Tolvan's files."},
        pc2,
        mdd,
        {"export-gltf",
         {"REST.obj", "RIG.txt", "OUT.glb|OUT.gltf"},
         {{"--fps", kNumber, "F", "30", false, false, "", "frames per second of the animation"}},
         "A rig and its rest mesh to an animated, skinned glTF 2.0 file."},
        {"report",
         {"REST.obj", "RIG.txt", "OUT.html"},
         {{"--anim", kText, "SEQ.anim.txt", "", false, false, "", "the input sequence, to show the rig's error against it"},
          {"--fps", kNumber, "F", "30", false, false, "", "frames per second when playing"},
          {"--max-frames", kCount, "N", "", false, false, "", "keep every k-th frame so that at most N remain"}},
         "One HTML file showing the rig playing, its skeleton, its weights and (with --anim) its error."},
    };
}

} // namespace

const std::vector<CommandDecl>& convertCommands()
{
    static const std::vector<CommandDecl> commands = makeCommands();
    return commands;
}
