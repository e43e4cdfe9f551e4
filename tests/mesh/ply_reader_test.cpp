#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "mesh/ply_test_util.h"

using ply_test::Bytes;
using ply_test::Capture;
using ply_test::read_bytes;

namespace {

const char kXyz[] = "property float x\nproperty float y\nproperty float z\n";
const char kTriList[] = "element face 1\nproperty list uchar int vertex_indices\n";

// A binary triangle: three vertices with byte colours, one face.
std::string binary_triangle(bool big_endian, const char* format) {
  Bytes b(big_endian);
  b.text(std::string("ply\nformat ") + format + " 1.0\nelement vertex 3\n" + kXyz +
         "property uchar red\nproperty uchar green\nproperty uchar blue\n" + kTriList +
         "end_header\n");
  b.xyz(1, 2, 3).u8(255).u8(0).u8(128);
  b.xyz(4, 5, 6).u8(1).u8(2).u8(3);
  b.xyz(7, 8, 9).u8(4).u8(5).u8(6);
  b.u8(3).i32(0).i32(1).i32(2);
  return b.str();
}

}  // namespace

TEST(PlyHeader, AsciiWithCrLfLinesAndComments) {
  // CR LF line ends: the lone LF after the magic is skipped; a comment between
  // property lines does not end the vertex element.
  std::string text =
      "ply\r\nformat ascii 1.0\r\ncomment made by hand\r\nelement vertex 3\r\n"
      "property float x\r\nproperty float y\r\ncomment inside\r\nproperty float z\r\n"
      "element face 1\r\nproperty list uchar int vertex_indices\r\nend_header\r\n"
      "0 0 0\r\n1 0 0\r\n0 1 0\r\n3 0 1 2\r\n";
  auto m = read_bytes("crlf.ply", text);
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vertices.size(), 3u);
  EXPECT_EQ(m->vertices[1], point(1, 0, 0));
  ASSERT_EQ(m->faces.size(), 1u);
  EXPECT_EQ(m->faces[0], Face(0, 1, 2));
}

TEST(PlyHeader, FormatAndVertexElementAreRequired) {
  {
    Capture c;
    EXPECT_FALSE(read_bytes("badformat.ply", "ply\nformat binary 2.0\nend_header\n"));
    EXPECT_TRUE(c.has("Unknown ply format or version.\n"));
    EXPECT_TRUE(c.has("Error reading file ["));
  }
  {
    Capture c;
    EXPECT_FALSE(read_bytes("novertex.ply", "ply\nformat ascii 1.0\nend_header\n"));
    EXPECT_TRUE(c.has("Expected \"element vertex\".\n"));
  }
  {
    // A list property can only be sized inside the face element.
    Capture c;
    std::string t = "ply\nformat ascii 1.0\nelement junk 1\nproperty list uchar int stuff\n"
                    "element vertex 1\n" + std::string(kXyz) + "end_header\n3 1 2 3\n0 0 0\n";
    EXPECT_FALSE(read_bytes("listbefore.ply", t));
    EXPECT_TRUE(c.has("Unsupported vertex property: [property list uchar int stuff].\n"));
  }
}

TEST(PlyHeader, SkipsElementsBeforeAndBetween) {
  // 2 x (double + short) = 20 bytes before, 1 x int = 4 bytes between.
  Bytes b;
  b.text("ply\nformat binary_little_endian 1.0\nelement camera 2\nproperty double a\n"
         "property short s\nelement vertex 3\n" + std::string(kXyz) +
         "element material 1\nproperty int m\n" + kTriList + "end_header\n");
  for (int i = 0; i < 20; i++) b.u8(0xEE);
  b.xyz(0, 0, 0).xyz(1, 0, 0).xyz(0, 1, 0);
  b.i32(-7);
  b.u8(3).i32(2).i32(1).i32(0);
  auto m = read_bytes("skip.ply", b.str());
  ASSERT_TRUE(m);
  EXPECT_EQ(m->vertices[2], point(0, 1, 0));
  ASSERT_EQ(m->faces.size(), 1u);
  EXPECT_EQ(m->faces[0], Face(2, 1, 0));
}

TEST(PlyBinary, LittleAndBigEndianGiveTheSameMesh) {
  for (bool big : {false, true}) {
    auto m = read_bytes("tri.ply", binary_triangle(big, big ? "binary_big_endian"
                                                            : "binary_little_endian"));
    ASSERT_TRUE(m) << big;
    ASSERT_EQ(m->vertices.size(), 3u);
    EXPECT_EQ(m->vertices[0], point(1, 2, 3));
    EXPECT_EQ(m->vertices[2], point(7, 8, 9));
    ASSERT_EQ(m->colors.size(), 3u);
    EXPECT_EQ(m->colors[0], Color(1.0f, 0.0f, 128 * Color::kByteScale));
    ASSERT_EQ(m->faces.size(), 1u);
    EXPECT_EQ(m->faces[0], Face(0, 1, 2));
    EXPECT_TRUE(m->normals.empty());
  }
}

TEST(PlyBinary, WrongDeclaredByteOrderIsCompensated) {
  // Big-endian bytes under a little-endian header: the first vertex is
  // implausible as declared and plausible swapped; the faces follow suit.
  // The first coordinate's low mantissa byte 0x7F becomes the exponent of a
  // huge value when read in the wrong order (small round numbers would read
  // as plausible denormals).
  uint32_t bits = 0x4120007Fu;  // 10.0000305
  float x;
  std::memcpy(&x, &bits, 4);
  Bytes b(true);
  b.text("ply\nformat binary_little_endian 1.0\nelement vertex 3\n" + std::string(kXyz) +
         kTriList + "end_header\n");
  b.xyz(x, x, x).xyz(4, 5, 6).xyz(7, 8, 9).u8(3).i32(0).i32(1).i32(2);
  Capture c;
  auto m = read_bytes("bogus.ply", b.str());
  ASSERT_TRUE(m);
  EXPECT_TRUE(c.has("Compensating for bogus endianness...\n"));
  EXPECT_EQ(m->vertices[0], point(x, x, x));
  EXPECT_EQ(m->vertices[1], point(4, 5, 6));
  EXPECT_EQ(m->faces[0], Face(0, 1, 2));
}

TEST(PlyBinary, NonFiniteFirstVertexKeepsTheDeclaredOrder) {
  // A NaN "no sample" first vertex swaps into a plausible denormal; it must
  // not flip the byte order of the whole file. The NaN vertex is dropped.
  Capture c;
  Bytes b;
  b.text("ply\nformat binary_little_endian 1.0\nelement vertex 3\n" + std::string(kXyz) +
         "end_header\n");
  const float nan = std::nanf("");
  b.xyz(nan, nan, nan).xyz(1, 2, 3).xyz(4, 5, 6);
  auto m = read_bytes("nanfirst.ply", b.str());
  ASSERT_TRUE(m);
  EXPECT_FALSE(c.has("Compensating"));
  ASSERT_EQ(m->vertices.size(), 2u);
  EXPECT_EQ(m->vertices[0], point(1, 2, 3));
  EXPECT_TRUE(c.has("Dropped 1 vertices with non-finite coordinates.\n"));
}

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

TEST(PlyAscii, ColoursConfidenceAndFourByteCounts) {
  std::string text = "ply\nformat ascii 1.0\nelement vertex 3\n" + std::string(kXyz) +
                     "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                     "property float confidence\nelement face 1\n"
                     "property list int int vertex_indices\nend_header\n"
                     "# a comment before the body\n"
                     "0 0 0 255 0 128 0.5\n1 0 0 1 2 3 0.25\n0 1 0 4 5 6 1\n3 0 1 2\n";
  auto m = read_bytes("asciicol.ply", text);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->colors[0], Color::from_bytes(255, 0, 128));
  EXPECT_EQ(m->colors[1], Color::from_bytes(1, 2, 3));
  EXPECT_EQ(m->confidences[2], 1.0f);
  ASSERT_EQ(m->faces.size(), 1u);
  EXPECT_EQ(m->faces[0], Face(0, 1, 2));
}

TEST(PlyAscii, BadValuesFailWithTheirMessages) {
  const std::string head = "ply\nformat ascii 1.0\nelement vertex 3\n" + std::string(kXyz) +
                           std::string(kTriList) + "end_header\n0 0 0\n1 0 0\n0 1 0\n";
  {
    Capture c;
    EXPECT_FALSE(read_bytes("badidx.ply", head + "3 0 x 2\n"));
    EXPECT_TRUE(c.has("Couldn't read vertex index 1 for face 0\n"));
  }
  {
    Capture c;
    EXPECT_FALSE(read_bytes("badcount.ply", head + "three 0 1 2\n"));
    EXPECT_TRUE(c.has("Couldn't read vertex count for face 0\n"));
  }
  {
    // A position that does not scan would misalign every later field.
    Capture c;
    std::string t = "ply\nformat ascii 1.0\nelement vertex 2\n" + std::string(kXyz) +
                    "end_header\n0 0 0\n1 zero 0\n";
    EXPECT_FALSE(read_bytes("badpos.ply", t));
    EXPECT_TRUE(c.has("Couldn't read position of vertex 1.\n"));
  }
}

TEST(PlyRangeGrid, CellsAreReadAndChecked) {
  const std::string head = "ply\nformat ascii 1.0\nobj_info num_cols 2\nobj_info num_rows 2\n"
                           "element vertex 3\n" + std::string(kXyz);
  {
    // Several indices in a cell keep the last; an empty cell is -1.
    std::string t = head + "element range_grid 4\nproperty list uchar int vertex_indices\n"
                           "end_header\n1 1 1\n1 0 0\n0 1 0\n1 1\n2 0 2\n1 0\n0\n";
    auto m = read_bytes("grid.ply", t);
    ASSERT_TRUE(m);
    // Cells (1, 2 | 0, -): the square misses its upper-right corner, leaving
    // the triangle (ll, lr, ul).
    ASSERT_EQ(m->faces.size(), 1u);
    EXPECT_EQ(m->faces[0], Face(1, 2, 0));
  }
  {
    Capture c;
    std::string t = head + "element range_grid 12\nproperty list uchar int vertex_indices\n"
                           "end_header\n";
    EXPECT_FALSE(read_bytes("gridsize.ply", t));
    EXPECT_TRUE(c.has("Range grid size does not equal num_rows*num_cols.\n"));
  }
  {
    Capture c;
    std::string t = head + "element range_grid 4\nproperty list uchar int vertex_indices\n"
                           "end_header\n1 1 1\n1 0 0\n0 1 0\n1 0\n1 1\n1 9\n0\n";
    EXPECT_FALSE(read_bytes("gridrange.ply", t));
    EXPECT_TRUE(c.has("Range grid cell 2 holds vertex 9, outside 0 .. 2.\n"));
  }
}

TEST(PlyStrips, OutOfRangeAndUnterminatedStreamsFail) {
  const std::string head = "ply\nformat ascii 1.0\nelement vertex 4\n" + std::string(kXyz) +
                           "element tristrips 1\nproperty list int int vertex_indices\n"
                           "end_header\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n";
  {
    Capture c;
    EXPECT_FALSE(read_bytes("stripbad.ply", head + "5 0 1 2 7 -1\n"));
    EXPECT_TRUE(c.has("Triangle strip entry 3 holds vertex 7, outside 0 .. 3.\n"));
  }
  {
    Capture c;
    EXPECT_FALSE(read_bytes("stripterm.ply", head + "4 0 1 2 3\n"));
    EXPECT_TRUE(c.has("Triangle strips do not end with -1.\n"));
  }
}
