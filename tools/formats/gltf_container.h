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
