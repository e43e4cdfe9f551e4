// Files from other writers and hand-made odd files: each either reads with
// exactly the data it holds or fails with a message that says why.
#include <gtest/gtest.h>

#include "mesh/ply_test_util.h"

using ply_test::Bytes;
using ply_test::Capture;
using ply_test::read_bytes;

namespace {

const char kXyz[] = "property float x\nproperty float y\nproperty float z\n";
const char kRgb[] = "property uchar red\nproperty uchar green\nproperty uchar blue\n";
const char kTriList[] = "element face 1\nproperty list uchar int vertex_indices\n";

std::string ascii_head(int nverts, const std::string& properties) {
  return "ply\nformat ascii 1.0\nelement vertex " + std::to_string(nverts) + "\n" + properties;
}

// One positions-only vertex in a little-endian body, bytes written in either order.
std::string binary_vertex(bool big_endian_bytes, float x, float y, float z) {
  Bytes b(big_endian_bytes);
  b.text("ply\nformat binary_little_endian 1.0\nelement vertex 1\n" + std::string(kXyz) +
         "end_header\n");
  return b.xyz(x, y, z).str();
}

std::string stl_binary_triangle() {
  Bytes b;
  b.text(std::string(80, ' ')).i32(1).xyz(0, 0, 1).xyz(0, 0, 0).xyz(1, 0, 0).xyz(0, 1, 0).u8(0).u8(0);
  return b.str();
}

// A 3DS main chunk holding an object whose name runs to the end of the file.
std::string unterminated_3ds_name() {
  Bytes b;
  return b.u8(0x4D).u8(0x4D).i32(100).u8(0x00).u8(0x40).i32(94).text("abc").str();
}

struct Case {
  const char* what;
  const char* name;
  std::string bytes;
  // Success: the counts and the last vertex (and its colour when the file has colours).
  int vertices, faces;
  point last;
  Color last_color;
  // Failure (vertices = -1): a text the messages must hold.
  const char* message;
};

}  // namespace

TEST(FaithfulReads, EachFileReadsAsWrittenOrFailsSayingWhy) {
  const Color none(-1, -1, -1);
  const Case cases[] = {
      {"byte colours after a tab", "tab.ply",
       ascii_head(2, std::string(kXyz) + kRgb) + "end_header\n0 0 0\t10 20 30\n1 1 1\t40 50 60\n",
       2, 0, point(1, 1, 1), Color::from_bytes(40, 50, 60), nullptr},
      {"byte colours before x, with faces", "rgbfirst.ply",
       ascii_head(3, std::string(kRgb) + kXyz) + kTriList +
           "end_header\n1 2 3 0 0 0\n4 5 6 1 0 0\n7 8 9 0 1 0\n3 0 1 2\n",
       3, 1, point(0, 1, 0), Color::from_bytes(7, 8, 9), nullptr},
      {"a line ending where the colour starts is white", "nocolour.ply",
       ascii_head(2, std::string(kXyz) + kRgb) + "end_header\n0 0 0  \n1 2 3 4 5 6\n", 2, 0,
       point(1, 2, 3), Color::from_bytes(4, 5, 6), nullptr},
      {"colour values outside 0..255 are clamped", "clamp.ply",
       ascii_head(1, std::string(kXyz) + kRgb) + "end_header\n0 0 0 300 -1 256\n", 1, 0,
       point(0, 0, 0), Color::from_bytes(255, 0, 255), nullptr},
      {"huge first vertex in the declared order is kept", "huge.ply",
       binary_vertex(false, 1e11f, 1, 1), 1, 0, point(1e11f, 1, 1), none, nullptr},
      {"subnormal first vertex means the other order", "subnormal.ply",
       binary_vertex(true, 1, 1, 1), 1, 0, point(1, 1, 1), none, nullptr},
      {"an OBJ opening with a comment about a camera", "cam.obj",
       "# camera settings exported\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", 3, 1, point(0, 1, 0),
       none, nullptr},
      {"an empty face element before a range grid", "facezero.ply",
       "ply\nformat ascii 1.0\nobj_info num_cols 2\nobj_info num_rows 2\n"
       "element vertex 4\n" + std::string(kXyz) +
           "element face 0\nproperty list uchar int vertex_indices\n"
           "element range_grid 4\nproperty list uchar int vertex_indices\nend_header\n"
           "0 0 1\n1 0 1\n0 1 1\n1 1 1\n1 0\n1 1\n1 2\n1 3\n",
       4, 2, point(1, 1, 1), none, nullptr},
      {"upper-case STL ending", "part.STL", stl_binary_triangle(), 3, 1, point(0, 1, 0), none,
       nullptr},
      {"ascii STL", "part.stl",
       "solid t\nfacet normal 0 0 1\n outer loop\n  vertex 0 0 0\n  vertex 1 0 0\n"
       "  vertex 0 1 0\n endloop\nendfacet\nendsolid t\n",
       3, 1, point(0, 1, 0), none, nullptr},
      {"ascii STL facet with two vertices", "short.stl",
       "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nendloop\nendfacet\n",
       -1, 0, point(), none, "Facet 0 has 2 vertices instead of three.\n"},
      {"negative polygon count in PLY", "negcount.ply",
       ascii_head(3, kXyz) + kTriList + "end_header\n0 0 0\n1 0 0\n0 1 0\n-1 0 1 2\n", -1, 0,
       point(), none, "Face 0 declares -1 vertices.\n"},
      {"negative polygon count in OFF", "neg.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n-3 0 1 2\n",
       -1, 0, point(), none, "Face 0 declares -3 vertices.\n"},
      {"vertex count beyond 2^31 - 1", "wrap.ply",
       "ply\nformat ascii 1.0\nelement vertex 4294967299\n" + std::string(kXyz) +
           "end_header\n0 0 0\n1 0 0\n0 1 0\n",
       -1, 0, point(), none, "Element count out of range in [element vertex 4294967299].\n"},
      {"skipped element count beyond 2^31 - 1", "wrapskip.ply",
       "ply\nformat ascii 1.0\nelement cam 2147483648\nproperty float a\nelement vertex 1\n" +
           std::string(kXyz) + "end_header\n0 0 0\n",
       -1, 0, point(), none, "Element count out of range in [element cam 2147483648].\n"},
      {"vertex count 0", "zero.ply", ascii_head(0, kXyz) + "end_header\n", -1, 0, point(), none,
       "The file declares 0 vertices; a mesh needs at least one.\n"},
      {"no x property", "nox.ply",
       ascii_head(1, "property float a\nproperty float b\nproperty float c\n") + "end_header\n1 2 3\n",
       -1, 0, point(), none, "The vertex records hold no x, y, z position.\n"},
      {"truncated binary face list", "trunc.ply",
       Bytes()
           .text("ply\nformat binary_little_endian 1.0\nelement vertex 3\n" + std::string(kXyz) +
                 "element face 2\nproperty list uchar int vertex_indices\nend_header\n")
           .xyz(0, 0, 0).xyz(1, 0, 0).xyz(0, 1, 0)
           .u8(4).i32(0).i32(1).i32(2).i32(0)
           .u8(3).i32(0)
           .str(),
       -1, 0, point(), none, "Unexpected end of file in face 1.\n"},
      {"unused element larger than the file", "bigskip.ply",
       "ply\nformat binary_little_endian 1.0\nelement cam 1000\nproperty double a\n"
       "element vertex 1\n" + std::string(kXyz) + "end_header\n" + std::string(12, '\0'),
       -1, 0, point(), none, "The file ends inside the elements the reader skips.\n"},
      {"unterminated 3DS object name", "name.3ds", unterminated_3ds_name(), -1, 0, point(), none,
       "The file ends inside an object name.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Capture capture;
    auto m = read_bytes(c.name, c.bytes);
    if (c.vertices < 0) {
      EXPECT_FALSE(m);
      EXPECT_TRUE(capture.has(c.message)) << capture.all();
      continue;
    }
    // Every case runs even when one fails: no ASSERT inside the loop.
    if (!m) {
      ADD_FAILURE() << capture.all();
      continue;
    }
    EXPECT_EQ(static_cast<int>(m->faces.size()), c.faces);
    if (static_cast<int>(m->vertices.size()) != c.vertices) {
      ADD_FAILURE() << m->vertices.size() << " vertices";
      continue;
    }
    EXPECT_EQ(m->vertices.back(), c.last);
    if (c.last_color.r >= 0 && m->colors.size() == m->vertices.size())
      EXPECT_EQ(m->colors.back(), c.last_color);
    else if (c.last_color.r >= 0)
      ADD_FAILURE() << "no colours";
  }
}

TEST(FaithfulReads, AFolderIsNotAFile) {
  Capture capture;
  const char* dir = std::getenv("ICP_TEST_TMP");
  EXPECT_FALSE(TriMesh::read_mesh(dir ? dir : "/tmp"));
  EXPECT_TRUE(capture.has("for reading: Is a directory.\n")) << capture.all();
}
