#include <gtest/gtest.h>

#include <stdexcept>

#include "io/neighbours.h"

using Lists = std::vector<std::vector<int>>;

TEST(Neighbours, ListsFollowTheFirstOccurrenceOfEachEdge)
{
    Lists lists;
    buildNeighbours(3, {{0, 1, 2}}, lists);
    EXPECT_EQ(lists, (Lists{{1, 2}, {0, 2}, {1, 0}}));
    buildNeighbours(5, {{0, 1, 2}, {2, 1, 3}}, lists); // the shared edge {1, 2} once; vertex 4 unused
    EXPECT_EQ(lists, (Lists{{1, 2}, {0, 2, 3}, {1, 0, 3}, {1, 2}, {}}));
    buildNeighbours(6, {{4, 4, 5}}, lists); // {4, 4} puts 4 twice into its own list
    EXPECT_EQ(lists, (Lists{{}, {}, {}, {}, {4, 4, 5}, {4}}));
    EXPECT_THROW(buildNeighbours(3, {{0, 1, 3}}, lists), std::out_of_range);
    EXPECT_THROW(buildNeighbours(3, {{-1, 1, 2}}, lists), std::out_of_range);
}
