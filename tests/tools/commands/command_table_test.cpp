#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "commands/command_table.h"

namespace {

std::vector<std::string> words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

TEST(CommandTable, ParsesEveryCommandsArgumentsAndNamesTheOffendingOne)
{
    const struct {
        const char* command;
        std::string args;
        std::string error; // "" = parsed
    } cases[] = {
        {"import-obj", "--rest r.obj a.obj --anim o.txt b.obj --rest-out o.obj", ""},
        {"export-gltf", "--fps 24 r.obj rig.txt o.glb", ""},
        {"report", "r.obj rig.txt o.html --max-frames 12 --anim s.txt", ""},
        {"import-gltf", "f.glb --anim a --rest-out r --z-up", "import-gltf: --z-up is an option of import-pc2, import-mdd, not of import-gltf"},
        {"import-mdd", "c.mdd --rest r --anim a --rest-out o --z-down", "import-mdd: unknown option --z-down"},
        {"export-gltf", "r.obj rig.txt o.glb --fps 24 --fps 30", "export-gltf: --fps is given more than once"},
        {"report", "r.obj rig.txt o.html --fps", "report: --fps needs a value (F)"},
        {"report", "r.obj rig.txt o.html --fps -1", "report: invalid value for --fps: -1 (expected a positive number)"},
        {"report", "r.obj rig.txt o.html --max-frames 2.5", "report: invalid value for --max-frames: 2.5 (expected a positive whole number)"},
        {"report", "r.obj rig.txt o.html --max-frames 0", "report: invalid value for --max-frames: 0 (expected a positive whole number)"},
        {"report", "r.obj o.html", "report: needs OUT.html"},
        {"import-pc2", "c.pc2 --rest r --anim a", "import-pc2: needs --rest-out OUT.rest.obj"},
        {"import-obj", "--rest r --anim a --rest-out o", "import-obj: needs FRAME.obj..."},
        {"import-gltf", "a.glb b.glb --anim a --rest-out r", "import-gltf: b.glb is one argument too many (it takes FILE.glb|FILE.gltf)"},
    };
    for (const auto& c : cases) {
        ParsedCommand parsed;
        std::string error;
        const bool ok = parseCommand(*findCommand(c.command), words(c.args), parsed, error);
        EXPECT_EQ(ok, c.error.empty()) << c.args << ": " << error;
        EXPECT_EQ(error, c.error) << c.args;
    }
    ParsedCommand obj;
    std::string error;
    ASSERT_TRUE(parseCommand(*findCommand("import-obj"), words("--rest r.obj a.obj --anim o.txt b.obj --rest-out o.obj"), obj, error));
    EXPECT_EQ(obj.positional, (std::vector<std::string>{"a.obj", "b.obj"})); // options between the frames
    EXPECT_EQ(obj.text("--rest-pose"), "mesh");                              // the declared default
}

// The README lists every command's synopsis exactly as the usage prints it.
TEST(CommandTable, TheReadmeListsEveryCommandAsDeclared)
{
    std::ifstream readme(std::string(TOLVAN_TOOLS_DIR) + "/../README.md");
    ASSERT_TRUE(readme);
    std::vector<std::string> listed, declared;
    bool inside = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.starts_with("#"))
            inside = line == "### Every command of tolvan-convert";
        else if (inside && line.starts_with("    tolvan-convert "))
            listed.push_back(line.substr(4));
    }
    for (const CommandDecl& command : convertCommands())
        declared.push_back(commandSynopsis(command));
    EXPECT_EQ(listed, declared);
}

} // namespace
