// The rest pose's triangles.
#pragma once

#include <array>
#include <vector>

// Rest-pose triangles, 0-based vertex indices.
using Triangles = std::vector<std::array<int, 3>>;
