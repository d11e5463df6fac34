#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "linalg/dense.h"

namespace {

Matrix fromRows(std::initializer_list<std::initializer_list<double>> rows)
{
    Matrix m;
    for (auto r : rows)
        m.push_back(Vector(r));
    return m;
}

TEST(Dense, ResizeMatrixKeepsEntriesAndZeroFillsNewOnes)
{
    Matrix m = fromRows({{1, 2}, {3, 4}});
    resizeMatrix(m, 3, 3);
    ASSERT_EQ(rowCount(m), 3u);
    EXPECT_EQ(m[0][0], 1);
    EXPECT_EQ(m[0][1], 2);
    EXPECT_EQ(m[1][0], 3);
    EXPECT_EQ(m[1][1], 4);
    EXPECT_EQ(m[0][2], 0.0);
    EXPECT_EQ(m[2][0], 0.0);
    EXPECT_EQ(m[2][2], 0.0);
    resizeMatrix(m, 2, 1);
    ASSERT_EQ(rowCount(m), 2u);
    ASSERT_EQ(columnCount(m), 1u);
    EXPECT_EQ(m[1][0], 3);
}

TEST(Dense, EmptyMatricesStayEmpty)
{
    Matrix empty;
    EXPECT_EQ(rowCount(transpose(empty)), 0u);
    EXPECT_EQ(rowCount(gramMatrix(empty)), 0u);
    EXPECT_EQ(multiplyTransposedVector(empty, Vector()).size(), 0u);
}

TEST(Dense, ProductsSumInIndexOrder)
{
    Matrix a = fromRows({{1, 2, 3}, {4, 5, 6}});
    Matrix g = gramMatrix(a);
    EXPECT_EQ(g[0][0], 17);
    EXPECT_EQ(g[1][2], 2 * 3 + 5 * 6);
    Matrix p = multiply(a, transpose(a));
    EXPECT_EQ(p[0][1], 32);
    Vector y = multiplyTransposedVector(a, makeVector3(1, 1, 0));
    EXPECT_EQ(y[2], 9);
    // 1e16 + 1 − 1e16 differs from 1e16 − 1e16 + 1: the order is part of the result.
    Matrix big = fromRows({{1e16, 1, -1e16}});
    EXPECT_EQ(multiplyVector(big, makeVector3(1, 1, 1))[0], 0.0);
}

TEST(Dense, TransformPointAndThreeVectors)
{
    Bone bone;
    Matrix r = zeroMatrix3();
    r[0][0] = r[1][1] = r[2][2] = 1;
    bone.rotations.push_back(r);
    bone.translations.push_back(makeVector3(1, 2, 3));
    Vector q = transformPoint(bone, 0, makeVector3(0, 0, 0));
    EXPECT_EQ(q[0], 1);
    EXPECT_EQ(q[2], 3);
    Vector h = divideVector3(makeVector3(1, 2, 3), 2);
    EXPECT_EQ(h[0], 0.5);
    EXPECT_EQ(h[2], 1.5);
    EXPECT_THROW(transformPoint(bone, 1, q), std::out_of_range);

    std::vector<double> flat;
    flattenBoneTransforms({bone}, 1, flat);
    double out[3];
    double p[3] = {0.25, -2, 7};
    transformFlat(flat.data(), p, out);
    Vector expected = transformPoint(bone, 0, makeVector3(0.25, -2, 7));
    EXPECT_EQ(out[0], expected[0]);
    EXPECT_EQ(out[1], expected[1]);
    EXPECT_EQ(out[2], expected[2]);
}

TEST(Dense, ErrorsCarryTheStandardMessages)
{
    Vector v(3);
    try {
        v[3] = 1;
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
    }
    try {
        v.resize(std::size_t(1) << 60);
        FAIL();
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), "vector<T> too long");
    }
}

TEST(Dense, CopiesAreDeepAcrossInlineAndHeapStorage)
{
    Vector small = makeVector3(1, 2, 3);
    Vector large(10, 7.0);
    Vector a = small, b = large;
    a[0] = 9;
    b[9] = 9;
    EXPECT_EQ(small[0], 1);
    EXPECT_EQ(large[9], 7);
    Vector moved = std::move(b);
    EXPECT_EQ(moved[9], 9);
    Matrix m;
    resizeMatrix(m, 6, 6);
    m[5][5] = 2;
    Matrix c = m;
    c[5][5] = 3;
    EXPECT_EQ(m[5][5], 2);
    c.push_back(c[0]); // pushing an element of the container itself
    EXPECT_EQ(rowCount(c), 7u);
}

TEST(PointTable, ResizeKeepsTopLeftBlock)
{
    PointTable t;
    resizePointTable(t, 2, 3);
    ASSERT_EQ(t.values.size(), 18u);
    for (double x : t.values)
        EXPECT_EQ(x, 0.0);

    resizePointTable(t, 3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t.set(r, c, makeVector3(r, c, 10 * r + c));
    resizePointTable(t, 2, 2);
    EXPECT_EQ(t.get(1, 1)[2], 11);
    EXPECT_EQ(t.get(0, 1)[1], 1);
    resizePointTable(t, 2, 3);
    EXPECT_EQ(t.get(1, 1)[2], 11);
    EXPECT_EQ(t.get(1, 2)[0], 0.0);
    EXPECT_EQ(t.get(0, 2)[2], 0.0);
    EXPECT_THROW(t.get(2, 0), std::out_of_range);
    EXPECT_THROW(resizePointTable(t, -1, 2), std::length_error);
}

} // namespace
