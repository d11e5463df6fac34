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
    EXPECT_TRUE(isLinked(g, 3, 1) && !isLinked(g, 0, 2) && !isLinked(g, 3, 3) && !isLinked(g, -1, 0) && !isLinked(g, 0, 9));
    g.reset(-1);
    EXPECT_TRUE(g.adjacency.empty() && g.component.empty());
    g.reset(2);
    EXPECT_TRUE(g.jointCount == 0 && g.component == (std::vector<int>{0, 1}) && !g.adjacency[0][1]);
}
