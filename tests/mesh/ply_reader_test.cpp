// Binary PLY vertex records read field by field: float colours,
// confidences, normals, float64 values and the extra properties of common
// writers around them. Whole-file reads of every other kind are in
// read_mesh_test.
#include <gtest/gtest.h>

#include "mesh/ply_test_util.h"

using ply_test::Bytes;
using ply_test::read_bytes;

namespace {

const char kXyz[] = "property float x\nproperty float y\nproperty float z\n";

}  // namespace

TEST(PlyBinary, RecordPathFillsConfidencesAndNormals) {
  Bytes b(true);
  b.text("ply\nformat binary_big_endian 1.0\nelement vertex 2\nproperty float confidence\n" +
         std::string(kXyz) + "property float nx\nproperty float ny\nproperty float nz\n"
         "property float red\nproperty float green\nproperty float blue\nend_header\n");
  b.f32(0.5f).xyz(1, 2, 3).xyz(0, 0, 1).xyz(0.25f, 0.5f, 1);
  b.f32(0.75f).xyz(4, 5, 6).xyz(0, 1, 0).xyz(1, 0, 0);
  auto m = read_bytes("record.ply", b.str());
  ASSERT_TRUE(m);
  ASSERT_EQ(m->confidences.size(), 2u);
  EXPECT_EQ(m->confidences[1], 0.75f);
  EXPECT_EQ(m->vertices[1], point(4, 5, 6));
  EXPECT_EQ(m->normals[0], point(0, 0, 1));
  EXPECT_EQ(m->colors[0], Color(0.25f, 0.5f, 1));
  EXPECT_TRUE(m->faces.empty());  // a point cloud
}

TEST(PlyBinary, FaceScalarBeforeListAndExtraFormsOfCommonWriters) {
  // float64 positions and normals, alpha after blue, a uchar before the
  // index list, "uint" indices, and a ushort count on a second file.
  Bytes b;
  b.text("ply\nformat binary_little_endian 1.0\nelement vertex 4\nproperty double x\n"
         "property double y\nproperty double z\nproperty double nx\nproperty double ny\n"
         "property double nz\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
         "property uchar alpha\nproperty float quality\nelement face 1\nproperty uchar flags\n"
         "property list uchar uint vertex_indices\nend_header\n");
  const double p[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (const auto& v : p) {
    b.f64(v[0]).f64(v[1]).f64(v[2]).f64(0).f64(0).f64(1);
    b.u8(10).u8(20).u8(30).u8(255).f32(9.0f);
  }
  b.u8(7).u8(4).i32(0).i32(1).i32(2).i32(3);
  auto m = read_bytes("doubles.ply", b.str());
  ASSERT_TRUE(m);
  EXPECT_EQ(m->vertices[2], point(1, 1, 0));
  EXPECT_EQ(m->normals[3], point(0, 0, 1));
  EXPECT_EQ(m->colors[3], Color::from_bytes(10, 20, 30));
  // A square's diagonals tie: split along 1-3.
  ASSERT_EQ(m->faces.size(), 2u);
  EXPECT_EQ(m->faces[0], Face(1, 2, 3));
  EXPECT_EQ(m->faces[1], Face(1, 3, 0));

  Bytes s;
  s.text("ply\nformat binary_little_endian 1.0\nelement vertex 3\n" + std::string(kXyz) +
         "element face 1\nproperty list ushort int vertex_indices\nend_header\n");
  s.xyz(0, 0, 0).xyz(1, 0, 0).xyz(0, 1, 0).u16(3).i32(0).i32(1).i32(2);
  auto t = read_bytes("ushort.ply", s.str());
  ASSERT_TRUE(t);
  EXPECT_EQ(t->faces.size(), 1u);
}
