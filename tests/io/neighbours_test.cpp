#include <gtest/gtest.h>

#include <stdexcept>

#include "io/neighbours.h"

using Lists = std::vector<std::vector<int>>;

TEST(Neighbours, ListsFollowTheFirstOccurrenceOfEachEdge)
{
    Lists lists;
    buildNeighbours(3, {{0, 1, 2}}, lists);
    EXPECT_EQ(lists, (Lists{{1, 2}, {0, 2}, {1, 0}}));

    // The shared edge {1, 2} is recorded once.
    buildNeighbours(4, {{0, 1, 2}, {2, 1, 3}}, lists);
    EXPECT_EQ(lists, (Lists{{1, 2}, {0, 2, 3}, {1, 0, 3}, {1, 2}}));

    // Unused vertices keep empty lists; earlier contents are replaced.
    buildNeighbours(5, {{3, 1, 2}}, lists);
    EXPECT_EQ(lists, (Lists{{}, {3, 2}, {1, 3}, {1, 2}, {}}));
    buildNeighbours(2, {}, lists);
    EXPECT_EQ(lists, (Lists{{}, {}}));
}

TEST(Neighbours, RepeatedIndexLinksAVertexToItself)
{
    Lists lists;
    buildNeighbours(6, {{4, 4, 5}}, lists);
    EXPECT_EQ(lists[4], (std::vector<int>{4, 4, 5}));
    EXPECT_EQ(lists[5], (std::vector<int>{4}));
}

TEST(Neighbours, IndexOutsideTheVerticesRaises)
{
    Lists lists;
    EXPECT_THROW(buildNeighbours(3, {{0, 1, 3}}, lists), std::out_of_range);
    EXPECT_THROW(buildNeighbours(3, {{-1, 1, 2}}, lists), std::out_of_range);
}
