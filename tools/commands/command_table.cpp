#include "commands/command_table.h"

#include <cmath>
#include <cstdlib>

namespace {

bool isWhole(const std::string& text)
{
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

// Every entry of a '|'-separated list.
std::vector<std::string> entries(const char* list)
{
    std::vector<std::string> out;
    std::string item;
    for (const char* c = list;; ++c) {
        if (*c == '|' || *c == '\0') {
            out.push_back(item);
            item.clear();
            if (*c == '\0')
                return out;
        } else {
            item += *c;
        }
    }
}

bool allowedChoice(const OptionDecl& option, const std::string& value)
{
    for (const std::string& entry : entries(option.allowed)) {
        const std::size_t colon = entry.find(':');
        if (colon == std::string::npos ? value == entry
                                       : value.compare(0, colon + 1, entry, 0, colon + 1) == 0 && isWhole(value.substr(colon + 1)))
            return true;
    }
    return false;
}

// "" when value suits the option, else what it should be.
std::string valueProblem(const OptionDecl& option, const std::string& value)
{
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    switch (option.kind) {
    case ValueKind::Number:
        return !value.empty() && *end == '\0' && number > 0.0 && std::isfinite(number) ? "" : "a positive number";
    case ValueKind::Count:
        return isWhole(value) && number > 0.0 ? "" : "a positive whole number";
    case ValueKind::Choice:
        return allowedChoice(option, value) ? "" : std::string("one of ") + option.allowed;
    default:
        return value.empty() ? "a non-empty value" : "";
    }
}

const OptionDecl* findOption(const CommandDecl& decl, const std::string& name)
{
    for (const OptionDecl& option : decl.options)
        if (name == option.name)
            return &option;
    return nullptr;
}

// The commands that do take an option this one does not.
std::string commandsTaking(const std::string& name)
{
    std::string list;
    for (const CommandDecl& command : convertCommands())
        if (findOption(command, name))
            list += (list.empty() ? "" : ", ") + std::string(command.name);
    return list;
}

std::string optionText(const OptionDecl& option)
{
    return std::string(option.name) + (option.kind == ValueKind::Flag ? "" : std::string(" ") + option.value);
}

} // namespace

bool ParsedCommand::has(const std::string& name) const
{
    for (const auto& option : options)
        if (option.first == name)
            return true;
    return false;
}

std::string ParsedCommand::text(const std::string& name) const
{
    for (auto it = options.rbegin(); it != options.rend(); ++it)
        if (it->first == name)
            return it->second;
    const OptionDecl* option = decl ? findOption(*decl, name) : nullptr;
    return option ? option->defaultValue : "";
}

std::vector<std::string> ParsedCommand::all(const std::string& name) const
{
    std::vector<std::string> values;
    for (const auto& option : options)
        if (option.first == name)
            values.push_back(option.second);
    return values;
}

double ParsedCommand::number(const std::string& name) const
{
    return std::strtod(text(name).c_str(), nullptr);
}

const CommandDecl* findCommand(const std::string& name)
{
    for (const CommandDecl& command : convertCommands())
        if (name == command.name)
            return &command;
    return nullptr;
}

bool parseCommand(const CommandDecl& decl, const std::vector<std::string>& args, ParsedCommand& out, std::string& error)
{
    out = ParsedCommand();
    out.decl = &decl;
    const std::string who = std::string(decl.name) + ": ";
    const bool many = !decl.positional.empty() && std::string(decl.positional.back()).ends_with("...");
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out.help = true;
            return true;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            if (out.positional.size() >= decl.positional.size() && !many) {
                error = who + arg + " is one argument too many (it takes ";
                for (std::size_t k = 0; k < decl.positional.size(); ++k)
                    error += (k ? " " : "") + std::string(decl.positional[k]);
                error += ")";
                return false;
            }
            out.positional.push_back(arg);
            continue;
        }
        const OptionDecl* option = findOption(decl, arg);
        if (!option) {
            const std::string others = commandsTaking(arg);
            error = who + (others.empty() ? "unknown option " + arg : arg + " is an option of " + others + ", not of " + decl.name);
            return false;
        }
        if (!option->repeatable && out.has(arg)) {
            error = who + arg + " is given more than once";
            return false;
        }
        std::string value;
        if (option->kind != ValueKind::Flag) {
            if (i + 1 >= args.size()) {
                error = who + arg + " needs a value (" + option->value + ")";
                return false;
            }
            value = args[++i];
            const std::string problem = valueProblem(*option, value);
            if (!problem.empty()) {
                error = who + "invalid value for " + arg + ": " + value + " (expected " + problem + ")";
                return false;
            }
        }
        out.options.emplace_back(arg, value);
    }
    const std::size_t needed = decl.positional.size();
    if (out.positional.size() < needed) {
        error = who + "needs " + decl.positional[out.positional.size()];
        return false;
    }
    for (const OptionDecl& option : decl.options)
        if (option.required && !out.has(option.name)) {
            error = who + "needs " + optionText(option);
            return false;
        }
    return true;
}

std::string commandSynopsis(const CommandDecl& decl)
{
    // Positional arguments first, but a list ("FRAME.obj...") last.
    std::string line = std::string("tolvan-convert ") + decl.name, list;
    for (const char* positional : decl.positional)
        (std::string(positional).ends_with("...") ? list : line) += std::string(" ") + positional;
    for (const OptionDecl& option : decl.options)
        if (option.required)
            line += " " + optionText(option);
    for (const OptionDecl& option : decl.options)
        if (!option.required)
            line += " [" + optionText(option) + "]" + (option.repeatable ? "..." : "");
    return line + list;
}

std::string commandUsage(const CommandDecl& decl)
{
    std::string text = "  " + commandSynopsis(decl) + "\n      " + decl.help + "\n";
    for (const OptionDecl& option : decl.options) {
        std::string line = "      " + optionText(option);
        line.resize(std::max<std::size_t>(line.size() + 2, 32), ' ');
        text += line + option.help;
        if (option.defaultValue[0] != '\0')
            text += std::string(" (default ") + option.defaultValue + ")";
        if (option.repeatable)
            text += " (repeatable)";
        text += "\n";
    }
    return text;
}

std::string convertUsage()
{
    std::string text = "Usage:\n";
    for (const CommandDecl& command : convertCommands())
        text += commandUsage(command);
    text += "  tolvan-convert COMMAND --help prints one command's usage.\n";
    return text;
}
