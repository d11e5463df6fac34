#include <gtest/gtest.h>

#include "run/rigging_context.h"

TEST(SkeletonGraph, ResetLeavesBonesUnlinked)
{
    SkeletonGraph g;
    g.reset(3);
    EXPECT_EQ(g.jointCount, 0);
    EXPECT_EQ(g.component, (std::vector<int>{0, 1, 2}));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_FALSE(g.adjacency[i][j]);
}

TEST(SkeletonGraph, AddJointMergesFirstComponentIntoSecond)
{
    SkeletonGraph g;
    g.reset(4);
    g.addJoint(0, 1); // 0 takes 1's label
    EXPECT_EQ(g.component, (std::vector<int>{1, 1, 2, 3}));
    g.addJoint(2, 3);
    g.addJoint(1, 3); // the whole {0, 1} component takes label 3
    EXPECT_EQ(g.component, (std::vector<int>{3, 3, 3, 3}));
    EXPECT_EQ(g.jointCount, 3);
    EXPECT_TRUE(g.adjacency[1][3] && g.adjacency[3][1]);
    EXPECT_FALSE(g.adjacency[0][3]);

    g.addJoint(0, 2); // already connected: nothing changes
    EXPECT_EQ(g.jointCount, 3);
    EXPECT_FALSE(g.adjacency[0][2]);
    EXPECT_THROW(g.addJoint(0, 4), std::out_of_range);
}
