// The two ways a glTF 2.0 asset is stored in one file: the binary container
// (.glb: header, JSON chunk, binary chunk) and JSON with the buffer embedded
// as a base64 data URI (.gltf).
#pragma once

#include <string>

// The .glb file of a JSON document and its binary buffer. The JSON chunk is
// padded with blanks and the binary chunk with zeros to 4 bytes.
std::string packGlb(const std::string& json, const std::string& buffer);

// "data:application/octet-stream;base64,..." for the bytes.
std::string dataUri(const std::string& bytes);

// The chunks of a .glb file. Checks the header (magic, version 2, length
// equal to the file's size), that the first chunk is JSON and that every
// chunk lies inside the file; the binary chunk, if any, must come second.
// hasBinary tells whether it is there. On failure returns false with a
// reason naming the byte offset.
bool unpackGlb(const std::string& file, std::string& json, std::string& binary, bool& hasBinary, std::string& error);

// The bytes of a "data:[type][;base64],..." URI (base64 or percent-encoded
// text). On failure returns false with the reason.
bool decodeDataUri(const std::string& uri, std::string& bytes, std::string& error);

// True when the file starts with the .glb magic "glTF".
bool looksLikeGlb(const std::string& file);
