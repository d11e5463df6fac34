// Malformed rest poses are covered end to end by the bad-input corpus.
#include <gtest/gtest.h>

#include <stdexcept>

#include "io/neighbours.h"
#include "io/rest_pose_file.h"
#include "io_test_files.h"

TEST(RestPoseFile, ReadsVerticesAndZeroBasedFacesInAnyOrder)
{
    ScratchFolder folder;
    Matrix restPose;
    Triangles triangles;
    std::string error;
    // Faces may come first; the last record may end the file.
    std::string name = folder.file("rest.obj", "f 1 2 3\nv 0 0 0\nv 1 0 0\n\n  v 0 +1 -0.5\tf 3 2 1");
    ASSERT_TRUE(readRestPose(name, restPose, triangles, error)) << error;
    ASSERT_EQ(restPose.size(), 3u);
    EXPECT_TRUE(restPose[2][1] == 1.0 && restPose[2][2] == -0.5);
    EXPECT_EQ(triangles, (Triangles{{0, 1, 2}, {2, 1, 0}}));

    ASSERT_TRUE(readRestPose(folder.file("v.obj", "v 1 2 3\nv 4 5 6\n"), restPose, triangles, error));
    EXPECT_TRUE(restPose.size() == 2 && triangles.empty());
    ASSERT_TRUE(readRestPose(folder.file("blank.obj", " \r\n\t"), restPose, triangles, error));
    EXPECT_TRUE(restPose.empty() && triangles.empty());
}

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
