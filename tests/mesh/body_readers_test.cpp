#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "mesh/mesh_io.h"
#include "mesh/ply_test_util.h"

namespace {

// A read-only memory stream over `text` (kept alive by the caller).
std::FILE* memory_stream(std::string& text) { return fmemopen(&text[0], text.size(), "rb"); }

VertexLayout vertex_layout(int record_len, int pos, int color = -1) {
  VertexLayout l;
  l.record_len = record_len;
  l.pos = pos;
  l.color = color;
  return l;
}

}  // namespace

TEST(AddPolygon, QuadsSplitAlongTheShorterDiagonalLargerPolygonsFan) {
  TriMesh m;
  m.vertices = {point(0, 0, 0), point(2, 0, 0), point(2, 1, 0), point(0, 1, 0), point(1, 3, 0)};
  add_polygon(m, std::vector<int>{0, 1});  // fewer than 3: nothing
  EXPECT_TRUE(m.faces.empty());

  // A kite whose 0-2 diagonal is the shorter one.
  TriMesh kite;
  kite.vertices = {point(0, 0, 0), point(1, -5, 0), point(0, 1, 0), point(-1, 5, 0)};
  add_polygon(kite, std::vector<int>{0, 1, 2, 3});
  EXPECT_EQ(kite.faces[0], Face(0, 1, 2));
  EXPECT_EQ(kite.faces[1], Face(0, 2, 3));

  // Pentagon: a fan of three triangles from its first vertex.
  add_polygon(m, std::vector<int>{0, 1, 2, 4, 3});
  ASSERT_EQ(m.faces.size(), 3u);
  EXPECT_EQ(m.faces[0], Face(0, 1, 2));
  EXPECT_EQ(m.faces[1], Face(0, 2, 4));
  EXPECT_EQ(m.faces[2], Face(0, 4, 3));

  // Corners that are not vertices yet: no position is read, split along 1-3.
  TriMesh none;
  add_polygon(none, std::vector<int>{1, 2, 3, 4});
  EXPECT_EQ(none.faces[0], Face(2, 3, 4));
}

TEST(AsciiScanning, TokensCommentsAndNumbers) {
  std::string text = "  # comment line\n\t# another\n+12 -3.5e2 1e99 abc 3x 2147483648 -7\n";
  std::FILE* f = memory_stream(text);
  skip_comments(f);
  EXPECT_EQ(std::getc(f), '+');  // pushed back, not consumed
  std::ungetc('+', f);
  int i = 0;
  float x = 0;
  EXPECT_TRUE(scan_int(f, i));
  EXPECT_EQ(i, 12);
  EXPECT_TRUE(scan_float(f, x));
  EXPECT_EQ(x, -350.0f);
  EXPECT_TRUE(scan_float(f, x));  // out of float range: saturates to infinity
  EXPECT_TRUE(std::isinf(x));
  EXPECT_FALSE(scan_int(f, i));  // "abc"
  EXPECT_FALSE(scan_int(f, i));  // "3x": not entirely a number
  EXPECT_FALSE(scan_int(f, i));  // beyond int32
  EXPECT_TRUE(scan_int(f, i));
  EXPECT_EQ(i, -7);
  EXPECT_FALSE(skip_token(f));  // end of file
  std::fclose(f);
}

TEST(BodyReaders, AppendAfterExistingDataAndRejectBadLayouts) {
  // Ascii vertices with a normal and the 3-token record of the other formats.
  std::string text = "1 2 3 0 0 1\n4 5 6 0 1 0\n";
  std::FILE* f = memory_stream(text);
  TriMesh m;
  m.vertices.push_back(point(9, 9, 9));
  VertexLayout l;
  l.record_len = 6;
  l.pos = 0;
  l.norm = 3;
  ASSERT_TRUE(read_verts_ascii(m, f, 2, l));
  ASSERT_EQ(m.vertices.size(), 3u);
  EXPECT_EQ(m.vertices[2], point(4, 5, 6));
  EXPECT_EQ(m.normals[2], point(0, 1, 0));
  std::fclose(f);

  // Fields that would reach outside the record, or a missing position, fail.
  std::string bytes(64, '\0');
  f = memory_stream(bytes);
  bool swap = false;
  EXPECT_FALSE(read_verts_binary(m, f, swap, 1, vertex_layout(12, 4)));
  EXPECT_FALSE(read_verts_binary(m, f, swap, 1, vertex_layout(16, -1)));
  EXPECT_FALSE(read_verts_binary(m, f, swap, 1, vertex_layout(15, 0, 13)));
  EXPECT_FALSE(read_faces_binary(m, f, false, 1, FaceLayout{1, 1, 1}));  // count at the first index
  EXPECT_FALSE(read_faces_binary(m, f, false, -1, FaceLayout{1, 0, 1}));
  EXPECT_TRUE(read_faces_binary(m, f, false, 0, FaceLayout{1, 0, 1}));
  std::fclose(f);

  // Ascii faces without a count token (3 indices each) and rest-of-line skipping.
  std::string faces = "0 1 2 junk junk\n2 1 0\n";
  f = memory_stream(faces);
  TriMesh t;
  t.vertices.resize(3);
  ASSERT_TRUE(read_faces_ascii(t, f, 2, FaceLayout{0, -1, 0, true}));
  ASSERT_EQ(t.faces.size(), 2u);
  EXPECT_EQ(t.faces[1], Face(2, 1, 0));
  std::fclose(f);
}
