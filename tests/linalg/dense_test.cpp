#include <gtest/gtest.h>

#include "linalg/dense.h"
#include "linalg/vertex_tiles.h"

namespace {

// Container mechanics are exercised by every other test; these are the
// contract details nothing else would notice.
TEST(Dense, ErrorsCarryTheStandardMessagesAndHeapCopiesAreDeep)
{
    Vector v(3), large(10, 7.0), copy = large;
    copy[9] = 9;
    EXPECT_EQ(large[9], 7);
    try {
        v[3] = 1;
        ADD_FAILURE();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
    }
    try {
        v.resize(std::size_t(1) << 60);
        ADD_FAILURE();
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), "vector<T> too long");
    }
    Matrix m;
    resizeMatrix(m, 6, 6);
    Matrix c = m; // a full copy: the next row moves it to a larger block
    c.push_back(c[0]); // an element of the container itself
    c[0][0] = 1;
    EXPECT_TRUE(rowCount(c) == 7 && c[6].size() == 6 && m[0][0] == 0);
    PointTable t;
    resizePointTable(t, 2, 2);
    t.set(1, 1, makeVector3(1, 2, 3));
    resizePointTable(t, 3, 3); // keeps the top-left block
    EXPECT_TRUE(t.get(1, 1)[2] == 3 && t.get(2, 2)[0] == 0);
    EXPECT_THROW(t.get(3, 0), std::out_of_range);
}

TEST(Dense, ProductsSumInIndexOrder)
{
    Matrix empty;
    // 1e16 + 1 − 1e16 differs from 1e16 − 1e16 + 1: the order is part of the result.
    EXPECT_EQ(multiplyVector(Matrix{Vector{1e16, 1, -1e16}}, makeVector3(1, 1, 1))[0], 0.0);
    EXPECT_TRUE(rowCount(transpose(empty)) == 0 && rowCount(gramMatrix(empty)) == 0);
    EXPECT_EQ(multiplyTransposedVector(empty, Vector()).size(), 0u);
}

// transformFlat's bits against transformPoint's are checked by the
// initialisation's plain search; here the frame range of both tracks.
TEST(Dense, TransformPointRefusesFramesOutsideEitherTrack)
{
    Bone bone;
    bone.rotations.assign(2, zeroMatrix3());
    bone.translations.assign(2, makeVector3(1, 2, 3));
    EXPECT_EQ(transformPoint(bone, 1, makeVector3(0, 0, 0))[1], 2.0);
    EXPECT_THROW(transformPoint(bone, 2, makeVector3(0, 0, 0)), std::out_of_range);
    EXPECT_THROW(transformPoint(bone, -1, makeVector3(0, 0, 0)), std::out_of_range);
    bone.rotations.pop_back(); // a track shorter in one part than the other
    EXPECT_THROW(transformPoint(bone, 1, makeVector3(0, 0, 0)), std::out_of_range);
}

// 20 vertices: a full tile and one with 4 vertices and 12 empty lanes (the
// layout is checked through the initialisation's plain search).
TEST(VertexTiles, ZeroLanesAfterTheEnd)
{
    PointTable sequence;
    resizePointTable(sequence, 3, 20);
    for (int f = 0; f < 3; ++f)
        for (int v = 0; v < 20; ++v)
            sequence.set(f, v, makeVector3(100 * f + v, -v, 0.5 * f));
    std::vector<double> tiles;
    tileTrajectories(sequence, 3, 20, tiles);
    ASSERT_EQ(tiles.size(), 2u * 3 * 3 * kVertexTile);
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
