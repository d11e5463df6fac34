#include "formats/file_kind.h"

#include <fstream>
#include <sstream>

FileKind guessFileKind(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return FileKind::Unreadable;
    std::string head(4096, '\0');
    in.read(head.data(), std::streamsize(head.size()));
    head.resize(std::size_t(in.gcount()));
    if (head.rfind("glTF", 0) == 0 || (head.find_first_not_of(" \t\r\n") != std::string::npos &&
                                       head[head.find_first_not_of(" \t\r\n")] == '{' && head.find("\"asset\"") != std::string::npos))
        return FileKind::Gltf;
    if (head.find("# JOINTS") != std::string::npos)
        return FileKind::Rig;
    std::istringstream lines(head);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first, second, third;
        if (!(words >> first) || first[0] == '#')
            continue;
        for (const char* record : {"v", "vt", "vn", "f", "o", "g", "s", "mtllib", "usemtl"})
            if (first == record)
                return FileKind::RestMesh;
        // Tolvan's sequence starts with two counts on a line of their own.
        words >> second;
        const bool counts = first.find_first_not_of("0123456789") == std::string::npos &&
                            !second.empty() && second.find_first_not_of("0123456789") == std::string::npos && !(words >> third);
        return counts ? FileKind::Sequence : FileKind::Unknown;
    }
    return FileKind::Unknown;
}

const char* describeFileKind(FileKind kind)
{
    switch (kind) {
    case FileKind::RestMesh: return "a rest mesh (OBJ)";
    case FileKind::Sequence: return "an animation sequence (Tolvan's input)";
    case FileKind::Rig: return "a rig (Tolvan's output)";
    case FileKind::Gltf: return "a glTF file";
    case FileKind::Unreadable: return "an unreadable file";
    case FileKind::Unknown: break;
    }
    return "an unknown kind of file";
}

std::string wrongKindHint(const std::string& fileName, FileKind expected, const std::string& position)
{
    const FileKind kind = guessFileKind(fileName);
    if (kind == expected || kind == FileKind::Unknown || kind == FileKind::Unreadable)
        return "";
    return fileName + " looks like " + describeFileKind(kind) + ", but " + position + " should be " + describeFileKind(expected);
}
