// Shared body of the PC2 and MDD fuzz targets: a refusal is one line that
// starts with the file's name (or "cannot"); an accepted cache holds exactly
// what its header announced, every value finite, and its size agrees with
// the input's length.
#pragma once

#include <cmath>

#include "formats/point_cache.h"
#include "fuzz_input_file.h"

inline void fuzzPointCache(const std::uint8_t* data, std::size_t size, bool isPc2)
{
    const std::string& fileName = fuzzInputFile(data, size);
    PointCache cache;
    std::string error;
    const bool ok = isPc2 ? readPc2(fileName, cache, error) : readMdd(fileName, cache, error);
    FUZZ_CHECK(ok == error.empty(), error.c_str());
    if (!ok) {
        FUZZ_CHECK(error.rfind(fileName + ": ", 0) == 0 || error.rfind("cannot ", 0) == 0, error.c_str());
        FUZZ_CHECK(error.find('\n') == std::string::npos, error.c_str());
        return;
    }
    const std::size_t header = isPc2 ? 32 : 8 + 4 * cache.numFrames;
    FUZZ_CHECK(header + cache.numFrames * cache.numPoints * 12 == size, "accepted a size the header does not announce");
    FUZZ_CHECK(cache.frames.size() == cache.numFrames * cache.numPoints * 3, "frames do not match the header");
    for (double x : cache.frames)
        FUZZ_CHECK(std::isfinite(x), "a value is not finite");
}
