#include "example/soft_motion.h"

#include <array>
#include <cmath>

#include "example/seeded_random.h"

namespace {

using Vec3 = std::array<double, 3>;

const double kPi = 3.14159265358979323846;

// Random unit vector (rejection from the cube, so uniform on the sphere).
Vec3 randomDirection(Random& random)
{
    for (;;) {
        Vec3 d = {2.0 * random.next() - 1.0, 2.0 * random.next() - 1.0, 2.0 * random.next() - 1.0};
        const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (n > 0.1 && n <= 1.0)
            return {d[0] / n, d[1] / n, d[2] / n};
    }
}

} // namespace

// A smooth random field on top of the skinned motion: kSoftWaves waves of
// wavelength kSoftWaveLength run across the rest pose in random directions,
// each moving the points along its own random direction, once round per loop
// of the animation. Its features span a few rings, so parts of the body that
// move as one bone are told apart in patches of several vertices each.
void addSoftMotion(const CreatureOptions& options, Creature& creature)
{
    const int kSoftWaves = 8;
    const double kSoftWaveLength = 0.3;
    Random random{options.seed ^ 0x5D0F7A11C0DEULL}; // apart from the animation's numbers
    Vec3 across[kSoftWaves], along[kSoftWaves];
    double phase[kSoftWaves];
    for (int k = 0; k < kSoftWaves; ++k) {
        across[k] = randomDirection(random);
        along[k] = randomDirection(random);
        phase[k] = 2.0 * kPi * random.next();
    }
    const RigData& rig = creature.rig;
    const std::size_t nV = std::size_t(rig.numVertices);
    const double amplitude = options.soft / std::sqrt(double(kSoftWaves));
    for (int f = 0; f < rig.numFrames; ++f)
        for (std::size_t v = 0; v < nV; ++v) {
            const double* p = &creature.rest.positions[v * 3];
            double* x = &creature.frames[(std::size_t(f) * nV + v) * 3];
            for (int k = 0; k < kSoftWaves; ++k) {
                const double reach = (across[k][0] * p[0] + across[k][1] * p[1] + across[k][2] * p[2]) / kSoftWaveLength;
                const double s = amplitude * std::sin(2.0 * kPi * (reach + double(f) / rig.numFrames) + phase[k]);
                for (int c = 0; c < 3; ++c)
                    x[c] += s * along[k][std::size_t(c)];
            }
        }
}

