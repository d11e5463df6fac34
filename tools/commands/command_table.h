// The command line of tolvan-convert as data: every command declares its
// positional arguments and options once, and one parser and one usage
// printer work from those declarations.
#pragma once

#include <string>
#include <utility>
#include <vector>

enum class ValueKind {
    Flag,   // no value
    Text,   // any text (a file name, an index or a name)
    Number, // a positive, finite real
    Count,  // a positive whole number
    Choice, // one of `allowed`; an entry "word:N" admits "word:" and a whole number
};

struct OptionDecl {
    const char* name;         // "--fps"
    ValueKind kind;
    const char* value;        // placeholder in the usage ("F"); "" for a flag
    const char* defaultValue; // "" = none
    bool repeatable;
    bool required;
    const char* allowed;      // Choice: '|'-separated entries; else ""
    const char* help;         // one line
};

struct CommandDecl {
    const char* name;                    // "import-gltf"
    std::vector<const char*> positional; // placeholders in order; a trailing "..." takes one or more
    std::vector<OptionDecl> options;
    const char* help;                    // one line
};

// What the parser read: positional arguments and options in the order given.
struct ParsedCommand {
    const CommandDecl* decl = nullptr;
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options; // name, value ("" for a flag)
    bool help = false;                                        // --help or -h was given

    bool has(const std::string& name) const;
    // The last value given, else the declared default.
    std::string text(const std::string& name) const;
    // Every value given, in order.
    std::vector<std::string> all(const std::string& name) const;
    // text() read as a number; the parser has checked it.
    double number(const std::string& name) const;
};

// Every command of tolvan-convert, in the order the usage lists them.
const std::vector<CommandDecl>& convertCommands();

// The command named name, or nullptr.
const CommandDecl* findCommand(const std::string& name);

// Reads args (the words after the command's name) against decl. On failure
// returns false with one message naming the command and the offending
// argument ("import-gltf: unknown option --z-down").
bool parseCommand(const CommandDecl& decl, const std::vector<std::string>& args, ParsedCommand& out, std::string& error);

// "tolvan-convert import-gltf FILE.glb|FILE.gltf --anim OUT.anim.txt ... [--fps F]": one line.
std::string commandSynopsis(const CommandDecl& decl);

// The synopsis, the help line and one line per option.
std::string commandUsage(const CommandDecl& decl);

// "Usage:" and every command's usage.
std::string convertUsage();
