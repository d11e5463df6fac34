// A guess at what a file holds from its first few kilobytes, so that a
// command given the wrong file (or its files in the wrong order) can say
// what it got instead of failing on some record deep inside.
#pragma once

#include <string>

enum class FileKind { Unknown, Unreadable, RestMesh, Sequence, Rig, Gltf };

FileKind guessFileKind(const std::string& fileName);

// "a rest mesh (OBJ)", "a rig", ... for messages.
const char* describeFileKind(FileKind kind);

// When `fileName` looks like something other than `expected`: one sentence
// "FILE looks like a rig, but POSITION should be a rest mesh (OBJ)";
// otherwise empty. position: "the first argument", "--rest", ...
std::string wrongKindHint(const std::string& fileName, FileKind expected, const std::string& position);
