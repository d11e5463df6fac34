#include "linalg/tile_errors.h"

#include <cstring>

#include "linalg/point_lanes.h"

namespace {

// One frame of E for four vertices of a tile (rest points px, py, pz,
// positions x[0], x[kVertexTile], x[2·kVertexTile]) under the transformation
// m (spreadTransforms' layout), added to acc. The rows are summed as
// m0·p0 + m1·p1 + m2·p2 + t: the leading 0.0 of transformPoint's row sums
// could only flip the sign of a zero, which the squares remove, so E is bit
// for bit the same.
POINT_INLINE void frameError(const double* m, const Quad& px, const Quad& py, const Quad& pz, const double* x,
                             Quad& acc)
{
    const Quad d0 = quadAt(m) * px + quadAt(m + 4) * py + quadAt(m + 8) * pz + quadAt(m + 36) - quadAt(x);
    const Quad d1 =
        quadAt(m + 12) * px + quadAt(m + 16) * py + quadAt(m + 20) * pz + quadAt(m + 40) - quadAt(x + kVertexTile);
    const Quad d2 = quadAt(m + 24) * px + quadAt(m + 28) * py + quadAt(m + 32) * pz + quadAt(m + 44) -
                    quadAt(x + 2 * kVertexTile);
    acc = acc + (d0 * d0 + d1 * d1 + d2 * d2);
}

// E of 4·Quads vertices side by side (rest points at rest, [axis] kVertexTile
// apart; positions at block, [frame][axis] as in a tile) into out. Gives up
// and returns false as soon as, after a block of frames, every lane's partial
// sum is above its bound: the remaining squares can only add to it.
template <int Quads>
POINT_INLINE bool walkErrors(const double* m, int numFrames, const double* rest, const double* block,
                             const double* bound, double* out)
{
    constexpr int kCheckEvery = 4;
    Quad px[Quads], py[Quads], pz[Quads], acc[Quads];
#pragma GCC unroll 4
    for (int q = 0; q < Quads; ++q) {
        px[q] = quadAt(rest + 4 * q);
        py[q] = quadAt(rest + kVertexTile + 4 * q);
        pz[q] = quadAt(rest + 2 * kVertexTile + 4 * q);
        acc[q] = Quad{0.0, 0.0, 0.0, 0.0};
    }
    for (int f = 0; f < numFrames; ++f, m += 48) {
        const double* x = block + std::size_t(f) * 3 * kVertexTile;
#pragma GCC unroll 4
        for (int q = 0; q < Quads; ++q)
            frameError(m, px[q], py[q], pz[q], x + 4 * q, acc[q]);
        if ((f + 1) % kCheckEvery == 0 && f + 1 < numFrames) {
            bool allAbove = true;
#pragma GCC unroll 4
            for (int q = 0; q < Quads; ++q) {
                const auto above = acc[q] > quadAt(bound + 4 * q);
                allAbove = allAbove && above[0] && above[1] && above[2] && above[3];
            }
            if (allAbove)
                return false;
        }
    }
#pragma GCC unroll 4
    for (int q = 0; q < Quads; ++q)
        std::memcpy(out + 4 * q, &acc[q], sizeof acc[q]);
    return true;
}

// The whole tile, 4·Quads vertices per walk over the frames: as many as the
// registers hold without spilling.
template <int Quads>
POINT_INLINE void tileErrorsIn(const double* m, int numFrames, const double* rest, const double* block,
                               const double* bound, double* out)
{
    static_assert(kVertexTile % (4 * Quads) == 0, "whole walks per tile");
    for (int first = 0; first < kVertexTile; first += 4 * Quads)
        if (!walkErrors<Quads>(m, numFrames, rest + first, block + first, bound + first, out + first))
            for (int i = first; i < first + 4 * Quads; ++i)
                out[i] = std::numeric_limits<double>::infinity();
}

// Four vertices per walk on the baseline's sixteen registers, the whole tile
// per walk with 256-bit registers.
struct TileErrorsKernel {
    template <bool Wide>
    static WIDE_INLINE void run(const double* m, int numFrames, const double* rest, const double* block,
                                const double* bound, double* out)
    {
        tileErrorsIn<Wide ? 4 : 1>(m, numFrames, rest, block, bound, out);
    }
};

} // namespace

void tileErrors(const double* m, int numFrames, const double* rest, const double* block, const double* bound,
                double* out)
{
    runWidest<TileErrorsKernel>(m, numFrames, rest, block, bound, out);
}
