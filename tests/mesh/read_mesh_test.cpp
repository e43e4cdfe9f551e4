// Reading mesh files through read_mesh: one table of hand-made files, each
// read with exactly the data it holds or failed with a message that says
// why; the progress text of a read; hostile counts and every prefix of
// every format.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "mesh/mesh_io.h"
#include "mesh/ply_test_util.h"

using ply_test::Bytes;
using test_meshes::CapturedText;
using ply_test::read_bytes;

namespace {

const char kXyz[] = "property float x\nproperty float y\nproperty float z\n";
const char kRgb[] = "property uchar red\nproperty uchar green\nproperty uchar blue\n";
const char kTriList[] = "element face 1\nproperty list uchar int vertex_indices\n";
const char kGrid2x2[] = "obj_info num_cols 2\nobj_info num_rows 2\n";
const char kGridList[] = "property list uchar int vertex_indices\n";

std::string ascii_head(int nverts, const std::string& properties, const char* info = "") {
  return "ply\nformat ascii 1.0\n" + std::string(info) + "element vertex " +
         std::to_string(nverts) + "\n" + properties;
}

// Four vertices and two faces whose indices start at `first_index`.
std::string ascii_mesh(int first_index) {
  const int a = first_index;
  return ascii_head(4, std::string(kXyz) + "element face 2\n" + kGridList) +
         "end_header\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n3 " + std::to_string(a) + " " +
         std::to_string(a + 1) + " " + std::to_string(a + 2) + "\n3 " + std::to_string(a + 1) +
         " " + std::to_string(a + 3) + " " + std::to_string(a + 2) + "\n";
}

// A binary triangle with byte colours, in either byte order; the big-endian
// one gives its face a four-byte count.
std::string binary_triangle(bool big_endian) {
  Bytes b(big_endian);
  b.text(std::string("ply\nformat binary_") + (big_endian ? "big" : "little") +
         "_endian 1.0\nelement vertex 3\n" + kXyz + kRgb +
         (big_endian ? "element face 1\nproperty list int int vertex_indices\n" : kTriList) +
         "end_header\n");
  b.xyz(1, 2, 3).u8(255).u8(0).u8(128).xyz(4, 5, 6).u8(1).u8(2).u8(3);
  b.xyz(7, 8, 9).u8(4).u8(5).u8(6);
  big_endian ? b.i32(3) : b.u8(3);
  return b.i32(0).i32(1).i32(2).str();
}

// Positions-only vertices under a little-endian header, and optionally the
// face (0, 1, 2), with the bytes in either order.
std::string binary_points(bool big_endian_bytes, const std::vector<point>& points,
                          bool with_face = false) {
  Bytes b(big_endian_bytes);
  b.text("ply\nformat binary_little_endian 1.0\nelement vertex " +
         std::to_string(points.size()) + "\n" + kXyz + (with_face ? kTriList : "") +
         "end_header\n");
  for (const point& p : points) b.xyz(p.x, p.y, p.z);
  if (with_face) b.u8(3).i32(0).i32(1).i32(2);
  return b.str();
}

// The first coordinate's low mantissa byte 0x7F becomes the exponent of a
// huge value when read in the wrong order.
float wrong_order_marker() {
  const uint32_t bits = 0x4120007Fu;  // 10.0000305
  float x;
  std::memcpy(&x, &bits, 4);
  return x;
}

const Color kAny(-1, -1, -1);
const Face kNoFace(-1, -1, -1);

struct Case {
  const char* what;
  const char* name;
  std::string bytes;
  int vertices;        // -1: the read must fail
  int faces;
  point last;          // the last vertex
  Face first_face;     // checked unless kNoFace
  Color last_color;    // checked unless kAny
  const char* printed; // a text the messages must hold, or nullptr
};

Case reads(const char* what, const char* name, std::string bytes, int vertices, int faces,
           point last, Face first_face = kNoFace, Color last_color = kAny,
           const char* printed = nullptr) {
  return {what, name, std::move(bytes), vertices, faces, last, first_face, last_color, printed};
}

Case fails(const char* what, const char* name, std::string bytes, const char* message) {
  return {what, name, std::move(bytes), -1, 0, point(), kNoFace, kAny, message};
}

}  // namespace

TEST(ReadMesh, EachFileReadsAsWrittenOrFailsSayingWhy) {
  const float x = wrong_order_marker();
  const float nan = std::nanf("");
  const std::string tri_body = "end_header\n0 0 0\n1 0 0\n0 1 0\n";
  const std::string strips_head = ascii_head(4, std::string(kXyz) +
                                                    "element tristrips 1\nproperty list int int "
                                                    "vertex_indices\nend_header\n0 0 0\n1 0 0\n"
                                                    "0 1 0\n1 1 0\n");
  const Case cases[] = {
      // PLY headers and bodies.
      reads("CR LF lines, comments among the properties", "crlf.ply",
            "ply\r\nformat ascii 1.0\r\ncomment by hand\r\nelement vertex 3\r\n"
            "property float x\r\nproperty float y\r\ncomment inside\r\nproperty float z\r\n"
            "element face 1\r\nproperty list uchar int vertex_indices\r\nend_header\r\n"
            "0 0 0\r\n1 0 0\r\n0 1 0\r\n3 0 1 2\r\n",
            3, 1, point(0, 1, 0), Face(0, 1, 2)),
      reads("elements skipped before and between (2 x 10 bytes, then 4)", "skip.ply",
            Bytes()
                .text("ply\nformat binary_little_endian 1.0\nelement camera 2\nproperty double a\n"
                      "property short s\nelement vertex 3\n" + std::string(kXyz) +
                      "element material 1\nproperty int m\n" + kTriList + "end_header\n" +
                      std::string(20, '\xEE'))
                .xyz(0, 0, 0).xyz(1, 0, 0).xyz(0, 1, 0).i32(-7).u8(3).i32(2).i32(1).i32(0)
                .str(),
            3, 1, point(0, 1, 0), Face(2, 1, 0)),
      reads("little-endian triangle", "le.ply", binary_triangle(false), 3, 1, point(7, 8, 9),
            Face(0, 1, 2), Color::from_bytes(4, 5, 6)),
      reads("big-endian triangle", "be.ply", binary_triangle(true), 3, 1, point(7, 8, 9),
            Face(0, 1, 2), Color::from_bytes(4, 5, 6)),
      reads("big-endian bytes under a little-endian header", "bogus.ply",
            binary_points(true, {point(x, x, x), point(1, 2, 3), point(4, 5, 6)}, true), 3, 1,
            point(4, 5, 6), Face(0, 1, 2), kAny, "Compensating for bogus endianness...\n"),
      reads("subnormal first vertex means the other order", "subnormal.ply",
            binary_points(true, {point(1, 1, 1)}), 1, 0, point(1, 1, 1), kNoFace, kAny,
            "Compensating for bogus endianness...\n"),
      reads("huge first vertex in the declared order is kept", "huge.ply",
            binary_points(false, {point(1e11f, 1, 1)}), 1, 0, point(1e11f, 1, 1)),
      reads("NaN first vertex keeps the declared order and is dropped", "nanfirst.ply",
            binary_points(false, {point(nan, nan, nan), point(1, 2, 3), point(4, 5, 6)}), 2, 0,
            point(4, 5, 6), kNoFace, kAny, "Dropped 1 vertices with non-finite coordinates.\n"),
      reads("ascii colours, confidence, a four-byte count, a comment", "asciicol.ply",
            ascii_head(3, std::string(kXyz) + kRgb + "property float confidence\nelement face 1\n"
                                                     "property list int int vertex_indices\n") +
                "end_header\n# a comment\n0 0 0 255 0 128 0.5\n1 0 0 1 2 3 0.25\n"
                "0 1 0 4 5 6 1\n3 0 1 2\n",
            3, 1, point(0, 1, 0), Face(0, 1, 2), Color::from_bytes(4, 5, 6)),
      reads("byte colours after a tab", "tab.ply",
            ascii_head(2, std::string(kXyz) + kRgb) + "end_header\n0 0 0\t10 20 30\n1 1 1\t40 50 60\n",
            2, 0, point(1, 1, 1), kNoFace, Color::from_bytes(40, 50, 60)),
      reads("byte colours before x, with faces", "rgbfirst.ply",
            ascii_head(3, std::string(kRgb) + kXyz) + kTriList +
                "end_header\n1 2 3 0 0 0\n4 5 6 1 0 0\n7 8 9 0 1 0\n3 0 1 2\n",
            3, 1, point(0, 1, 0), Face(0, 1, 2), Color::from_bytes(7, 8, 9)),
      reads("a line ending where the colour starts is white", "nocolour.ply",
            ascii_head(2, std::string(kXyz) + kRgb) + "end_header\n0 0 0  \n1 2 3 4 5 6\n", 2, 0,
            point(1, 2, 3), kNoFace, Color::from_bytes(4, 5, 6)),
      reads("colour values outside 0..255 are clamped", "clamp.ply",
            ascii_head(1, std::string(kXyz) + kRgb) + "end_header\n0 0 0 300 -1 256\n", 1, 0,
            point(0, 0, 0), kNoFace, Color::from_bytes(255, 0, 255)),
      reads("non-finite vertices go with their faces; colours follow", "nan.ply",
            ascii_head(5, std::string(kXyz) + kRgb + "element face 2\n" + kGridList) +
                "end_header\n0 0 0 1 1 1\nnan 0 0 2 2 2\n1 0 0 3 3 3\n0 inf 1 4 4 4\n"
                "0 1 0 5 5 5\n3 0 1 2\n3 0 2 4\n",
            3, 1, point(0, 1, 0), Face(0, 1, 2), Color::from_bytes(5, 5, 5),
            "Dropped 2 vertices with non-finite coordinates.\n"),
      reads("indices 1 .. n are remapped", "onebased.ply", ascii_mesh(1), 4, 2, point(1, 1, 0),
            Face(0, 1, 2), kAny, "Found indices ranging from 1 through 4\nRemapping to 0 through 3\n"),
      reads("range grid: several indices keep the last, an empty cell is -1", "grid.ply",
            ascii_head(3, std::string(kXyz) + "element range_grid 4\n" + kGridList, kGrid2x2) +
                "end_header\n1 1 1\n1 0 0\n0 1 0\n1 1\n2 0 2\n1 0\n0\n",
            3, 1, point(0, 1, 0), Face(1, 2, 0)),
      reads("a non-finite sample in cell 0 empties the cell; its square keeps a face",
            "gridnan.ply",
            ascii_head(4, std::string(kXyz) + "element range_grid 4\n" + kGridList, kGrid2x2) +
                "end_header\nnan 0 1\n1 0 1\n0 1 1\n1 1 1\n1 0\n1 1\n1 2\n1 3\n",
            3, 1, point(1, 1, 1), Face(0, 2, 1)),
      reads("an empty face element before a range grid", "facezero.ply",
            ascii_head(4, std::string(kXyz) + "element face 0\n" + kGridList +
                              "element range_grid 4\n" + kGridList, kGrid2x2) +
                "end_header\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n1 0\n1 1\n1 2\n1 3\n",
            4, 2, point(1, 1, 1)),
      // Other formats through the dispatcher.
      reads("an OBJ opening with a comment about a camera", "cam.obj",
            "# camera settings exported\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", 3, 1,
            point(0, 1, 0), Face(0, 1, 2)),
      reads("upper-case STL ending", "part.STL",
            ply_test::stl_file({{point(0, 0, 0), point(1, 0, 0), point(0, 1, 0)}}), 3, 1,
            point(0, 1, 0)),
      reads("ascii STL", "part.stl",
            "solid t\nfacet normal 0 0 1\n outer loop\n  vertex 0 0 0\n  vertex 1 0 0\n"
            "  vertex 0 1 0\n endloop\nendfacet\nendsolid t\n",
            3, 1, point(0, 1, 0), Face(0, 1, 2)),
      // Failures, each with its message.
      fails("empty file", "empty.ply", "", "Can't read header.\n"),
      fails("unknown first byte", "unknown.dat", "*junk", "Unknown file type.\n"),
      fails("format line", "badformat.ply", "ply\nformat binary 2.0\nend_header\n",
            "Unknown ply format or version.\n"),
      fails("no vertex element", "novertex.ply", "ply\nformat ascii 1.0\nend_header\n",
            "Expected \"element vertex\".\n"),
      fails("a list property outside the face element", "listbefore.ply",
            "ply\nformat ascii 1.0\nelement junk 1\nproperty list uchar int stuff\n"
            "element vertex 1\n" + std::string(kXyz) + "end_header\n3 1 2 3\n0 0 0\n",
            "Unsupported vertex property: [property list uchar int stuff].\n"),
      fails("vertex count 0", "zero.ply", ascii_head(0, kXyz) + "end_header\n",
            "The file declares 0 vertices; a mesh needs at least one.\n"),
      fails("no x property", "nox.ply",
            ascii_head(1, "property float a\nproperty float b\nproperty float c\n") +
                "end_header\n1 2 3\n",
            "The vertex records hold no x, y, z position.\n"),
      fails("vertex count beyond 2^31 - 1", "wrap.ply",
            "ply\nformat ascii 1.0\nelement vertex 4294967299\n" + std::string(kXyz) + tri_body,
            "Element count out of range in [element vertex 4294967299].\n"),
      fails("skipped element count beyond 2^31 - 1", "wrapskip.ply",
            "ply\nformat ascii 1.0\nelement cam 2147483648\nproperty float a\n"
            "element vertex 1\n" + std::string(kXyz) + "end_header\n0 0 0\n",
            "Element count out of range in [element cam 2147483648].\n"),
      fails("a position that does not scan", "badpos.ply",
            ascii_head(2, kXyz) + "end_header\n0 0 0\n1 zero 0\n",
            "Couldn't read position of vertex 1.\n"),
      fails("an index that does not scan", "badidx.ply",
            ascii_head(3, std::string(kXyz) + kTriList) + tri_body + "3 0 x 2\n",
            "Couldn't read vertex index 1 for face 0\n"),
      fails("a count that does not scan", "badcount.ply",
            ascii_head(3, std::string(kXyz) + kTriList) + tri_body + "three 0 1 2\n",
            "Couldn't read vertex count for face 0\n"),
      fails("negative polygon count in PLY", "negcount.ply",
            ascii_head(3, std::string(kXyz) + kTriList) + tri_body + "-1 0 1 2\n",
            "Face 0 declares -1 vertices.\n"),
      fails("negative polygon count in OFF", "neg.off",
            "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n-3 0 1 2\n", "Face 0 declares -3 vertices.\n"),
      fails("an index range that is no offset range", "outside.ply",
            ascii_mesh(0).replace(ascii_mesh(0).rfind("3 0 1 2"), 7, "3 5 1 2"),
            "Face 0 uses vertex 5, outside 0 .. 3.\n"),
      fails("nothing but non-finite vertices", "allnan.ply",
            ascii_head(1, kXyz) + "end_header\nnan nan nan\n", "Error reading file ["),
      fails("grid size other than num_cols x num_rows", "gridsize.ply",
            ascii_head(3, std::string(kXyz) + "element range_grid 12\n" + kGridList, kGrid2x2) + "end_header\n",
            "Range grid size does not equal num_rows*num_cols.\n"),
      fails("grid cell naming no vertex", "gridrange.ply",
            ascii_head(3, std::string(kXyz) + "element range_grid 4\n" + kGridList, kGrid2x2) +
                "end_header\n1 1 1\n1 0 0\n0 1 0\n1 0\n1 1\n1 9\n0\n",
            "Range grid cell 2 holds vertex 9, outside 0 .. 2.\n"),
      fails("strip entry naming no vertex", "stripbad.ply", strips_head + "5 0 1 2 7 -1\n",
            "Triangle strip entry 3 holds vertex 7, outside 0 .. 3.\n"),
      fails("strips not ending with -1", "stripterm.ply", strips_head + "4 0 1 2 3\n",
            "Triangle strips do not end with -1.\n"),
      fails("truncated binary face list", "trunc.ply",
            Bytes()
                .text("ply\nformat binary_little_endian 1.0\nelement vertex 3\n" +
                      std::string(kXyz) + "element face 2\n" + kGridList + "end_header\n")
                .xyz(0, 0, 0).xyz(1, 0, 0).xyz(0, 1, 0).u8(4).i32(0).i32(1).i32(2).i32(0)
                .u8(3).i32(0)
                .str(),
            "Unexpected end of file in face 1.\n"),
      fails("unused element larger than the file", "bigskip.ply",
            "ply\nformat binary_little_endian 1.0\nelement cam 1000\nproperty double a\n"
            "element vertex 1\n" + std::string(kXyz) + "end_header\n" + std::string(12, '\0'),
            "The file ends inside the elements the reader skips.\n"),
      fails("ascii STL facet with two vertices", "short.stl",
            "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nendloop\n"
            "endfacet\n",
            "Facet 0 has 2 vertices instead of three.\n"),
      fails("unterminated 3DS object name", "name.3ds",
            Bytes().u16(0x4D4D).i32(100).u16(0x4000).i32(94).text("abc").str(),
            "The file ends inside an object name.\n"),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CapturedText capture;
    auto m = read_bytes(c.name, c.bytes);
    EXPECT_TRUE(!c.printed || capture.has(c.printed)) << capture.all();
    if (c.vertices < 0) {
      EXPECT_FALSE(m);
      continue;
    }
    // Every case runs even when one fails: no ASSERT inside the loop.
    if (!m || static_cast<int>(m->vertices.size()) != c.vertices) {
      ADD_FAILURE() << (m ? std::to_string(m->vertices.size()) + " vertices" : capture.all());
      continue;
    }
    EXPECT_EQ(static_cast<int>(m->faces.size()), c.faces);
    EXPECT_EQ(m->vertices.back(), c.last);
    if (!(c.first_face == kNoFace)) {
      EXPECT_TRUE(!m->faces.empty() && m->faces[0] == c.first_face);
    }
    if (c.last_color.r >= 0) {
      EXPECT_TRUE(m->colors.size() == m->vertices.size() && m->colors.back() == c.last_color);
    }
  }
}

// A strip row keeps only the strips that hold a triangle (three or more
// indices); the rest leave no trace in the length-prefixed form.
TEST(ReadMesh, StripRowsKeepOnlyStripsWithATriangle) {
  const std::string head = ascii_head(4, std::string(kXyz) +
                                             "element tristrips 1\nproperty list int int "
                                             "vertex_indices\nend_header\n0 0 0\n1 0 0\n"
                                             "0 1 0\n1 1 0\n");
  const struct {
    const char* row;
    std::vector<int> kept;
  } rows[] = {
      {"7 0 1 -1 1 2 3 -1", {3, 1, 2, 3}},
      {"7 1 2 3 -1 0 -1 -1", {3, 1, 2, 3}},
      {"6 0 1 2 3 -1 -1", {4, 0, 1, 2, 3}},
      {"3 2 3 -1", {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.row);
    CapturedText capture;
    auto m = read_bytes("strips.ply", head + r.row + "\n");
    ASSERT_TRUE(m) << capture.all();
    EXPECT_EQ(m->tristrips, r.kept);
  }
}

TEST(ReadMesh, OpeningAndProgress) {
  {
    CapturedText c;
    EXPECT_FALSE(TriMesh::read_mesh(ply_test::temp_path("does_not_exist.ply")));
    EXPECT_TRUE(c.has("for reading: No such file or directory.\n"));
  }
  {
    CapturedText c;
    const char* dir = std::getenv("ICP_TEST_TMP");
    EXPECT_FALSE(TriMesh::read_mesh(dir ? dir : "/tmp"));
    EXPECT_TRUE(c.has("for reading: Is a directory.\n")) << c.all();
  }
  TriMesh m;
  EXPECT_FALSE(m.read_into(""));
  CapturedText c;
  const std::string path = ply_test::write_file("progress.ply", ascii_mesh(0));
  std::unique_ptr<TriMesh> read(TriMesh::read_mesh(path));
  ASSERT_TRUE(read);
  EXPECT_EQ(c.all(), "Reading " + path + "... \n  Reading 4 vertices... \n  Reading 2 faces... Done.\n");
}

// Binary PLY vertex records read field by field: float colours, confidences,
// normals, float64 values and the extra properties of common writers.
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

TEST(Hostile, HugeCountsFailFastWithoutHugeAllocations) {
  const struct {
    const char* name;
    std::string header;
    const char* message;
  } cases[] = {
      {"verts", "element vertex 2000000000\n" + std::string(kXyz), "Declared 2000000000 vertices"},
      {"faces", "element vertex 1\n" + std::string(kXyz) + "element face 2000000000\n" + kGridList,
       "Declared 2000000000 faces"},
      {"grid", "obj_info num_cols 50000\nobj_info num_rows 40000\nelement vertex 1\n" +
                   std::string(kXyz) + "element range_grid 2000000000\n" + kGridList,
       "Declared 2000000000 grid cells"},
      {"skip", "element junk 2000000000\nproperty double a\nelement vertex 1\n" + std::string(kXyz),
       "The file ends inside the elements the reader skips.\n"},
  };
  for (const auto& k : cases) {
    CapturedText c;
    Bytes b;
    b.text("ply\nformat binary_little_endian 1.0\n" + k.header + "end_header\n").xyz(1, 2, 3);
    EXPECT_FALSE(read_bytes(std::string("huge_") + k.name + ".ply", b.str())) << k.name;
    EXPECT_TRUE(c.has(k.message)) << k.name << ": " << c.all();
  }
}

TEST(Hostile, StreamOfUnknownSizeGrowsInChunks) {
  // A memory stream has no known size: the declared count is not trusted,
  // arrays grow with the data, and the short read fails.
  Bytes b;
  b.xyz(1, 2, 3).xyz(4, 5, 6);
  std::string data = b.str();
  std::FILE* f = fmemopen(&data[0], data.size(), "rb");
  ASSERT_TRUE(f);
  TriMesh m;
  bool swap = false;
  EXPECT_FALSE(read_verts_binary(m, f, swap, 2000000000, VertexLayout::positions_only(12)));
  EXPECT_LE(m.vertices.capacity(), 1u << 17);
  std::fclose(f);

  // A face claiming 2^31-1 indices in a 4-byte count.
  Bytes fb;
  fb.i32(0x7fffffff).i32(0).i32(1);
  std::string faces = fb.str();
  f = fmemopen(&faces[0], faces.size(), "rb");
  TriMesh t;
  t.vertices.resize(3);
  EXPECT_FALSE(read_faces_binary(t, f, false, 1, FaceLayout{4, 0, 4, false}));
  std::fclose(f);
}

// Every prefix of a valid file of every format, through the dispatcher as
// it would meet it (STL by name, the rest by their first bytes: their names
// say nothing), is either
// rejected or read, never a crash (this matters most under AddressSanitizer);
// a proper prefix of a binary file, whose counts say how long it is, is
// always rejected.
TEST(Hostile, EveryPrefixOfEveryFormatIsSafe) {
  Bytes bin;
  bin.text("ply\nformat binary_big_endian 1.0\nelement vertex 4\n" + std::string(kXyz) +
           "property uchar red\nproperty uchar green\nproperty uchar blue\n"
           "element face 2\nproperty list uchar int vertex_indices\nend_header\n");
  Bytes body(true);
  for (int i = 0; i < 4; i++) body.xyz(i, i % 2, 0).u8(i).u8(2).u8(3);
  body.u8(3).i32(0).i32(1).i32(2).u8(4).i32(0).i32(1).i32(3).i32(2);
  const std::vector<point> tri = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0)};
  const struct {
    const char* name;
    std::string bytes;
    bool binary;
  } files[] = {
      {"m.ply", ascii_mesh(1), false},
      {"b.ply", bin.str() + body.str(), true},
      {"g.ply", "ply\nformat ascii 1.0\nobj_info num_cols 2\nobj_info num_rows 2\nelement vertex 3\n" +
                    std::string(kXyz) +
                    "element range_grid 4\nproperty list uchar int vertex_indices\nend_header\n"
                    "0 0 0\n1 0 0\n0 1 0\n1 0\n1 1\n1 2\n0\n",
       false},
      {"s.ply", "ply\nformat ascii 1.0\nelement vertex 4\n" + std::string(kXyz) +
                    "element tristrips 1\nproperty list int int vertex_indices\nend_header\n"
                    "0 0 0\n1 0 0\n0 1 0\n1 1 0\n5 0 1 2 3 -1\n",
       false},
      {"m.stl", ply_test::stl_file({tri, tri}), true},
      {"a.stl", "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                "vertex 0 1 0\nendloop\nendfacet\nendsolid t\n", false},
      {"3ds.dat", ply_test::file_3ds(ply_test::object_3ds(tri, {Face(0, 1, 2)})), true},
      {"viv.dat", ply_test::vivid_file(tri, {Face(0, 1, 2)}), true},
      {"obj.dat", "# OBJ\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1/1/1 2/2/2 3/3/3\nf -3 -2 -1\n"
                "f 1 2 4 3\n", false},
      {"off.dat", "OFF\n4 2 0\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n3 0 1 2\n4 0 1 3 2\n", false},
      {"sm.dat", "3\n0 0 0\n1 0 0\n0 1 0\n1\n0 1 2\n0 0\n", false},
      {"ray.dat", "#material 0 0 0  1 1 1  0 0 0  0 0 0  0 0 1  -1  !!\n#vertex 0 0 0  0 0 1  0 0\n"
                "#vertex 1 0 0  0 0 1  0 0\n#vertex 0 1 0  0 0 1  0 0\n#shape_triangle 0  0 1 2\n",
       false},
  };
  set_verbose(false);
  for (const auto& file : files) {
    for (size_t n = 0; n <= file.bytes.size(); n++) {
      CapturedText c;
      auto m = ply_test::read_memory(file.bytes.substr(0, n), file.name);
      if (n == file.bytes.size()) {
        EXPECT_TRUE(m) << file.name << " itself must read: " << c.all();
      } else if (file.binary) {
        EXPECT_FALSE(m) << file.name << " cut at " << n;
      }
      if (!m) continue;
      EXPECT_FALSE(m->vertices.empty());
      for (const Face& f : m->faces)
        for (int j = 0; j < 3; j++) ASSERT_LT(static_cast<size_t>(f[j]), m->vertices.size());
    }
  }
  set_verbose(true);
}
