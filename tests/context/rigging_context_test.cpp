#include <gtest/gtest.h>

#include "context/rigging_context.h"

// The labels are checked through skeleton extraction; a link inside one
// component is refused here, before any caller could make a cycle.
TEST(SkeletonGraph, AddJointLinksTwoComponentsOnly)
{
    SkeletonGraph g;
    g.reset(4);
    g.addJoint(0, 1);
    g.addJoint(2, 3);
    g.addJoint(1, 3);
    g.addJoint(0, 2); // already connected: nothing changes
    EXPECT_TRUE(g.jointCount == 3 && g.adjacency[1][3] && g.adjacency[3][1] && !g.adjacency[0][2]);
    EXPECT_THROW(g.addJoint(0, 4), std::out_of_range);
    g.reset(2);
    EXPECT_TRUE(g.jointCount == 0 && g.component == (std::vector<int>{0, 1}) && !g.adjacency[0][1]);
}
