// The merged model: points moved by their scans' poses, normals turned
// with them, colours kept (white for a scan without), written and read back
// unchanged; thinning averages a cube's points; bad fractions are refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "geometry/durable_write.h"
#include "sets/merged_model.h"

namespace {

TriMesh three_points(bool colored) {
  TriMesh m;
  m.vertices = {point(0, 0, 0), point(0.001f, 0, 0), point(1, 1, 1)};
  m.normals = {point(0, 0, 1), point(0, 0, 1), point(1, 0, 0)};
  if (colored) m.colors = {Color(1, 0, 0), Color(0, 0, 1), Color::from_bytes(10, 20, 30)};
  return m;
}

TEST(MergedModel, RoundTripAndThinning) {
  TriMesh a = three_points(true), b = three_points(false);
  const PoseMatrix turn(0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1);  // quarter turn about z, shift x
  std::string why;
  TriMesh merged;
  ASSERT_TRUE(merge_scans({&a, &b}, {PoseMatrix(), turn}, 0.0, merged, why)) << why;
  ASSERT_EQ(merged.vertices.size(), 6u);
  EXPECT_EQ(merged.vertices[5], point(4, 1, 1));
  EXPECT_EQ(merged.normals[5], point(0, 1, 0));

  const std::string path = std::string(std::getenv("ICP_TEST_TMP") ? std::getenv("ICP_TEST_TMP") : "/tmp") +
                           "/merged_round_trip.ply";
  ASSERT_TRUE(write_file_durably(path, merged_ply_bytes(merged), why)) << why;
  std::unique_ptr<TriMesh> back(TriMesh::read_mesh(path));
  std::remove(path.c_str());
  ASSERT_TRUE(back);
  ASSERT_EQ(back->vertices.size(), 6u);
  ASSERT_EQ(back->colors.size(), 6u);
  ASSERT_EQ(back->normals.size(), 6u);
  for (size_t i = 0; i < 6; i++) {
    EXPECT_EQ(back->vertices[i], merged.vertices[i]) << i;
    EXPECT_EQ(back->normals[i], merged.normals[i]) << i;
  }
  EXPECT_EQ(back->colors[2].g, Color::from_bytes(10, 20, 30).g);
  EXPECT_EQ(back->colors[4].r, 1.0f);  // the uncoloured scan is white

  // Cubes of 0.1 of the diagonal: each scan's first two points share one.
  ASSERT_TRUE(merge_scans({&a, &b}, {PoseMatrix(), turn}, 0.1, merged, why)) << why;
  ASSERT_EQ(merged.vertices.size(), 4u);
  EXPECT_FLOAT_EQ(merged.vertices[0].x, 0.0005f);
  EXPECT_FLOAT_EQ(merged.colors[0].r, 0.5f);
  EXPECT_FLOAT_EQ(merged.colors[0].b, 0.5f);

  for (double bad : {-0.1, 1.5, 1e-9, std::nan("")})
    EXPECT_FALSE(merge_scans({&a}, {PoseMatrix()}, bad, merged, why)) << bad;
}

}  // namespace
