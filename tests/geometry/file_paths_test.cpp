#include <gtest/gtest.h>

#include "geometry/file_paths.h"

// The derived names of one path, as the mesh reader, the writer, the pose
// lookup and the result files see it.
TEST(FilePaths, DerivedNamesStayInTheFolderOfTheirFile) {
  struct Case {
    const char* path;
    const char* extension;
    const char* stripped;
    const char* pose;
  } cases[] = {
      {"dir/scan.ply", "ply", "dir/scan", "dir/scan.xf"},
      {"/a/run.tar.gz", "gz", "/a/run.tar", "/a/run.tar.xf"},
      {"scan", "", "scan", ""},
      {".hidden", "hidden", "", ".xf"},
      // A dot in a folder name is no extension, with either separator.
      {"/data/v1.2/run", "", "/data/v1.2/run", ""},
      {"C:\\scans.v2\\part", "", "C:\\scans.v2\\part", ""},
      {"C:\\scans\\bun000.ply", "ply", "C:\\scans\\bun000", "C:\\scans\\bun000.xf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(extension_of(c.path), c.extension);
    EXPECT_EQ(strip_extension(c.path), c.stripped);
    EXPECT_EQ(pose_path_for(c.path), c.pose);
  }
  EXPECT_EQ(file_name_of("C:\\scans/bun000.ply"), "bun000.ply");
  EXPECT_TRUE(has_extension("scan.PLY", "ply"));
  EXPECT_TRUE(has_extension("part.Stl", "STL"));
  EXPECT_FALSE(has_extension("scan.plyx", "ply"));
  EXPECT_FALSE(has_extension("ply", "ply"));
}
