#include "example/cloth.h"

#include <cmath>

#include "example/seeded_random.h"

namespace {

constexpr double kWidth = 3.0, kHeight = 2.0, kPi = 3.14159265358979323846;

// The wave's shape, drawn once from the seed.
struct Wind {
    double swing, swingPhase; // slow turn of the whole flag about the pole
    double amplitude;         // bend of the wave at the free edge, radians
    double waves;             // waves along the sheet
    double slant;             // phase change along the pole: slanted wave fronts
    double phase;
};

Wind drawWind(std::uint64_t seed)
{
    Random random{seed};
    Wind w;
    w.swing = 0.25 + 0.15 * random.next();
    w.swingPhase = 2 * kPi * random.next();
    w.amplitude = 0.45 + 0.2 * random.next();
    w.waves = 1.0 + 0.5 * random.next();
    w.slant = 0.6 + 0.6 * random.next();
    w.phase = 2 * kPi * random.next();
    return w;
}

// Bend angle of the sheet at distance s from the pole, height y, time t (one loop = 2π).
double bendAngle(const Wind& w, double s, double y, double t)
{
    const double u = s / kWidth;
    return w.swing * std::sin(t + w.swingPhase) +
           w.amplitude * u * std::sin(2 * kPi * w.waves * u - 2 * t + w.slant * y + w.phase);
}

} // namespace

void buildCloth(const ClothOptions& options, Cloth& cloth)
{
    const int nx = options.columns, ny = options.rows, n = nx * ny;
    const double dx = kWidth / (nx - 1), dy = kHeight / (ny - 1);
    cloth.rest.positions.assign(3 * std::size_t(n), 0.0);
    cloth.rest.triangles.clear();
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j) {
            double* p = cloth.rest.positions.data() + 3 * std::size_t(i * ny + j);
            p[0] = i * dx;
            p[1] = j * dy;
        }
    for (int i = 0; i + 1 < nx; ++i)
        for (int j = 0; j + 1 < ny; ++j) {
            const int a = i * ny + j, b = a + ny;
            cloth.rest.triangles.insert(cloth.rest.triangles.end(), {a, b, b + 1, a, b + 1, a + 1});
        }
    const Wind wind = drawWind(options.seed);
    cloth.frames.assign(std::size_t(options.numFrames) * n * 3, 0.0);
    for (int f = 0; f < options.numFrames; ++f) {
        const double t = 2 * kPi * f / options.numFrames;
        double* frame = cloth.frames.data() + std::size_t(f) * n * 3;
        for (int j = 0; j < ny; ++j) {
            // Each row is a curve of fixed length: step along its bend angle.
            double x = 0.0, z = 0.0;
            for (int i = 0; i < nx; ++i) {
                double* p = frame + 3 * std::size_t(i * ny + j);
                p[0] = x;
                p[1] = j * dy;
                p[2] = z;
                const double angle = bendAngle(wind, (i + 0.5) * dx, j * dy, t);
                x += dx * std::cos(angle);
                z += dx * std::sin(angle);
            }
        }
    }
}
