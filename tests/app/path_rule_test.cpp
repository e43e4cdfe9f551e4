#include "app/path_rule.h"

#include <gtest/gtest.h>

TEST(PathRule, CutsAtTheLastDotOfTheFileName) {
  EXPECT_EQ(replace_ending("a/scan.ply", "_error.xls"), "a/scan_error.xls");
  EXPECT_EQ(replace_ending("scan.v1.ply", ".xf"), "scan.v1.xf");  // only the last dot goes
  EXPECT_EQ(replace_ending("scan.", ".vkl"), "scan.vkl");
  EXPECT_EQ(pose_file_name("C:\\data\\bust.ply"), "C:\\data\\bust.xf");
}

TEST(PathRule, NameWithoutDotIsTakenWhole) {
  EXPECT_EQ(replace_ending("scan", ".txt"), "scan.txt");
  EXPECT_FALSE(has_dot("scan"));
  EXPECT_TRUE(has_dot("scan.ply"));
}

TEST(PathRule, DotInAFolderNameDoesNotCount) {
  // Cutting at the folder's dot would name a file outside the mesh's folder.
  EXPECT_FALSE(has_dot("scans.v2/part"));
  EXPECT_EQ(replace_ending("scans.v2/part", ".xf"), "scans.v2/part.xf");
  EXPECT_EQ(replace_ending("scans.v2\\part.ply", ".xf"), "scans.v2\\part.xf");
}
