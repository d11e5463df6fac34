#include <gtest/gtest.h>

#include "run/skeleton_hint.h"

// The hint fires only when the skeleton's error is both more than twice and
// more than half a percentage point above the error without it.
TEST(SkeletonHint, FiresOnlyWhenTheJointsClearlyHurt)
{
    const struct {
        double without, with, diagonal;
        const char* figures; // "" when silent
    } cases[] = {
        {0.0, 4.82, 100, "from 0.00 % to 4.82 %"}, {0.001, 0.0482, 1, "from 0.10 % to 4.82 %"},
        {0.2, 0.6, 100, ""}, // twice, but only 0.4 points above
        {3.0, 4.0, 100, ""}, // a point above, but not twice
        {1.0, 2.0, 100, ""}, {0.0, 0.5, 100, ""}, {0.0, 5.0, 0, ""}, {4.0, 1.0, 100, ""},
    };
    for (const auto& c : cases) {
        const std::string line = skeletonHint(c.without, c.with, c.diagonal);
        EXPECT_EQ(line.empty(), *c.figures == '\0') << line;
        EXPECT_TRUE(line.empty() || (line.rfind("Tolvan: warning: ", 0) == 0 && line.find(c.figures) != std::string::npos &&
                                     line.find("-N_REP 0") != std::string::npos && line.find('\n') == line.size() - 1))
            << line;
    }
}
