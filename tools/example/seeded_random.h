// Deterministic numbers for the example generator: the same seed always
// gives the same creature.
#pragma once

#include <cstdint>

// Numbers in [0, 1) from the seed (splitmix64).
struct Random {
    std::uint64_t state;
    double next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        return double(z >> 11) * (1.0 / 9007199254740992.0);
    }
};
