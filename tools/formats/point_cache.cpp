#include "formats/point_cache.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace {

struct CacheFile {
    std::ifstream in;
    std::uint64_t size = 0;
};

bool openCache(const std::string& fileName, CacheFile& file, std::string& error)
{
    file.in.open(fileName, std::ios::binary);
    if (!file.in) {
        error = "cannot open " + fileName + ": " + std::strerror(errno);
        return false;
    }
    file.in.seekg(0, std::ios::end);
    const std::streamoff end = file.in.tellg();
    file.in.seekg(0, std::ios::beg);
    if (end < 0 || !file.in) {
        error = "cannot read " + fileName;
        return false;
    }
    file.size = std::uint64_t(end);
    return true;
}

std::uint32_t word(const unsigned char* p, bool bigEndian)
{
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
        v |= std::uint32_t(p[bigEndian ? 3 - k : k]) << (8 * k);
    return v;
}

double real(const unsigned char* p, bool bigEndian)
{
    const std::uint32_t u = word(p, bigEndian);
    float f;
    std::memcpy(&f, &u, 4);
    return double(f);
}

// Reads numFrames × numPoints × 3 floats from the current position.
bool readFrames(const std::string& fileName, CacheFile& file, bool bigEndian, std::uint64_t headerBytes, PointCache& cache,
                std::string& error)
{
    cache.frames.resize(cache.numFrames * cache.numPoints * 3);
    std::vector<unsigned char> bytes(cache.numPoints * 12);
    for (std::size_t f = 0; f < cache.numFrames; ++f) {
        if (!file.in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()))) {
            error = "cannot read " + fileName + " at byte " + std::to_string(headerBytes + f * bytes.size());
            return false;
        }
        double* out = &cache.frames[f * cache.numPoints * 3];
        for (std::size_t i = 0; i < cache.numPoints * 3; ++i) {
            out[i] = real(&bytes[i * 4], bigEndian);
            if (!std::isfinite(out[i])) {
                error = fileName + ": frame " + std::to_string(f) + ", point " + std::to_string(i / 3) + ": not a finite number";
                return false;
            }
        }
    }
    return true;
}

// The announced size against the file's, in 64 bits: counts are below 2^31
// and the product below 2^66 would overflow, so it is bounded first.
bool checkSize(const std::string& fileName, const CacheFile& file, std::uint64_t header, std::uint64_t frames, std::uint64_t points,
               std::string& error)
{
    const bool fits = frames == 0 || points <= file.size / 12 / frames;
    if (fits && header + frames * points * 12 == file.size)
        return true;
    error = fileName + ": " + std::to_string(file.size) + " bytes, but the header announces " + std::to_string(frames) +
            " frames of " + std::to_string(points) + " points (" +
            (fits ? std::to_string(header + frames * points * 12) + " bytes)" : "more bytes than the file has)");
    return false;
}

bool readCount(const std::string& fileName, std::uint32_t raw, const char* field, std::size_t& out, std::string& error)
{
    if (raw == 0 || raw > 0x7FFFFFFFu) {
        error = fileName + ": header: " + field + " " + std::to_string(std::int32_t(raw)) + " must be at least 1";
        return false;
    }
    out = raw;
    return true;
}

} // namespace

bool readPc2(const std::string& fileName, PointCache& cache, std::string& error)
{
    cache = PointCache();
    CacheFile file;
    if (!openCache(fileName, file, error))
        return false;
    unsigned char h[32];
    if (file.size < 32 || !file.in.read(reinterpret_cast<char*>(h), 32)) {
        error = fileName + ": header: " + std::to_string(file.size) + " bytes, fewer than the 32 of a PC2 header";
        return false;
    }
    if (std::memcmp(h, "POINTCACHE2\0", 12) != 0) {
        error = fileName + ": header: not a PC2 file (no 'POINTCACHE2' signature)";
        return false;
    }
    if (word(h + 12, false) != 1) {
        error = fileName + ": header: version " + std::to_string(std::int32_t(word(h + 12, false))) + " (only 1 is read)";
        return false;
    }
    if (!readCount(fileName, word(h + 16, false), "point count", cache.numPoints, error) ||
        !readCount(fileName, word(h + 28, false), "sample count", cache.numFrames, error) ||
        !checkSize(fileName, file, 32, cache.numFrames, cache.numPoints, error))
        return false;
    cache.times = {real(h + 20, false), real(h + 24, false)};
    return readFrames(fileName, file, false, 32, cache, error);
}

bool readMdd(const std::string& fileName, PointCache& cache, std::string& error)
{
    cache = PointCache();
    CacheFile file;
    if (!openCache(fileName, file, error))
        return false;
    unsigned char h[8];
    if (file.size < 8 || !file.in.read(reinterpret_cast<char*>(h), 8)) {
        error = fileName + ": header: " + std::to_string(file.size) + " bytes, fewer than the 8 of an MDD header";
        return false;
    }
    if (!readCount(fileName, word(h, true), "frame count", cache.numFrames, error) ||
        !readCount(fileName, word(h + 4, true), "point count", cache.numPoints, error))
        return false;
    // The times come first, 4 bytes per frame, then 12 per point per frame.
    if (cache.numFrames > (file.size - 8) / 4) {
        error = fileName + ": header: " + std::to_string(cache.numFrames) + " frames need more bytes than the file's " +
                std::to_string(file.size);
        return false;
    }
    const std::uint64_t header = 8 + 4 * std::uint64_t(cache.numFrames);
    if (!checkSize(fileName, file, header, cache.numFrames, cache.numPoints, error))
        return false;
    std::vector<unsigned char> times(cache.numFrames * 4);
    if (!file.in.read(reinterpret_cast<char*>(times.data()), std::streamsize(times.size()))) {
        error = "cannot read " + fileName;
        return false;
    }
    for (std::size_t f = 0; f < cache.numFrames; ++f)
        cache.times.push_back(real(&times[f * 4], true));
    return readFrames(fileName, file, true, header, cache, error);
}
