// Readers of the two point-cache formats 3D packages write for a mesh whose
// vertex count stays fixed: positions of every point in every sample.
//   PC2 (little-endian): "POINTCACHE2\0", int32 version 1, int32 points,
//       float32 start frame, float32 sampling (frames per sample), int32
//       samples, then float32 x y z per point per sample.
//   MDD (big-endian): int32 frames, int32 points, float32 time of every
//       frame (seconds), then float32 x y z per point per frame.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct PointCache {
    std::size_t numPoints = 0;
    std::size_t numFrames = 0;
    std::vector<double> frames; // numFrames × numPoints × (x, y, z)
    std::vector<double> times;  // MDD: seconds per frame; PC2: start frame, sampling
};

// Each reader checks the header, that the file's size is exactly what the
// header announces (before anything is allocated), and that every value is
// finite. On failure returns false with error naming the file and the place
// (header field, or frame and point).
bool readPc2(const std::string& fileName, PointCache& cache, std::string& error);
bool readMdd(const std::string& fileName, PointCache& cache, std::string& error);
