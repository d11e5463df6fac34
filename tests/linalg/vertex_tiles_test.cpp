#include <gtest/gtest.h>

#include "linalg/vertex_tiles.h"

namespace {

TEST(VertexTiles, TrajectoriesGroupedByTilesWithZeroLanesAfterTheEnd)
{
    // 20 vertices: a full tile and one with 4 vertices and 12 empty lanes.
    PointTable sequence;
    resizePointTable(sequence, 3, 20);
    for (int f = 0; f < 3; ++f)
        for (int v = 0; v < 20; ++v)
            sequence.set(f, v, makeVector3(100 * f + v, -v, 0.5 * f));
    std::vector<double> tiles;
    tileTrajectories(sequence, 3, 20, tiles);
    ASSERT_EQ(tiles.size(), 2u * 3 * 3 * kVertexTile);
    for (int v = 0; v < 20; ++v) {
        const double* x = tiledTrajectory(tiles.data(), 3, v);
        for (int f = 0; f < 3; ++f)
            for (int a = 0; a < 3; ++a)
                EXPECT_EQ(x[f * 3 * kVertexTile + a * kVertexTile], sequence.get(f, v)[a]) << v << " " << f;
    }
    const double* last = tileBlock(tiles.data(), 3, 19);
    for (int f = 0; f < 3; ++f)
        for (int a = 0; a < 3; ++a)
            for (int lane = 4; lane < kVertexTile; ++lane)
                EXPECT_EQ(last[(f * 3 + a) * kVertexTile + lane], 0.0);
    // Fewer points than the counts ask for is an index error; none is no tile.
    EXPECT_THROW(tileTrajectories(sequence, 4, 20, tiles), std::out_of_range);
    for (const auto& [frames, vertices] : {std::pair{0, 20}, std::pair{3, 0}}) {
        tileTrajectories(sequence, frames, vertices, tiles);
        EXPECT_TRUE(tiles.empty());
    }
}

} // namespace
