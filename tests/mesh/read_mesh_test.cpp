#include <cstdio>

#include <gtest/gtest.h>

#include "mesh/mesh_io.h"
#include "mesh/ply_test_util.h"

using ply_test::Bytes;
using ply_test::Capture;
using ply_test::read_bytes;

namespace {

const char kXyz[] = "property float x\nproperty float y\nproperty float z\n";

std::string ascii_mesh(int first_index) {
  std::string t = "ply\nformat ascii 1.0\nelement vertex 4\n" + std::string(kXyz) +
                  "element face 2\nproperty list uchar int vertex_indices\nend_header\n"
                  "0 0 0\n1 0 0\n0 1 0\n1 1 0\n";
  int a = first_index;
  t += "3 " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + 2) + "\n";
  t += "3 " + std::to_string(a + 1) + " " + std::to_string(a + 3) + " " + std::to_string(a + 2) + "\n";
  return t;
}

}  // namespace

TEST(ReadDispatch, OpeningAndRecognition) {
  {
    Capture c;
    EXPECT_FALSE(TriMesh::read_mesh(ply_test::temp_path("does_not_exist.ply")));
    EXPECT_TRUE(c.has("for reading: No such file or directory.\n"));
  }
  {
    Capture c;
    EXPECT_FALSE(read_bytes("empty.ply", ""));
    EXPECT_TRUE(c.has("Can't read header.\n"));
  }
  {
    Capture c;
    EXPECT_FALSE(read_bytes("unknown.dat", "*junk"));
    EXPECT_TRUE(c.has("Unknown file type.\n"));
    EXPECT_TRUE(c.has("Error reading file ["));
  }
  {
    // "p" not followed by "ly" fails without a message of its own.
    Capture c;
    EXPECT_FALSE(read_bytes("pxy.ply", "pxy\n"));
    EXPECT_TRUE(c.has("Error reading file ["));
    EXPECT_FALSE(c.has("Unknown"));
  }
  TriMesh m;
  EXPECT_FALSE(m.read_into(""));
}

TEST(ReadDispatch, ProgressMessagesOfASuccessfulRead) {
  Capture c;
  std::string path = ply_test::write_file("progress.ply", ascii_mesh(0));
  std::unique_ptr<TriMesh> m(TriMesh::read_mesh(path));
  ASSERT_TRUE(m);
  EXPECT_EQ(c.all(), "Reading " + path + "... \n  Reading 4 vertices... \n  Reading 2 faces... Done.\n");
}

TEST(IndexRange, OffsetRangeIsRemappedOtherRangesFail) {
  {
    Capture c;
    auto m = read_bytes("onebased.ply", ascii_mesh(1));
    ASSERT_TRUE(m);
    EXPECT_TRUE(c.has("Found indices ranging from 1 through 4\nRemapping to 0 through 3\n"));
    EXPECT_EQ(m->faces[0], Face(0, 1, 2));
    EXPECT_EQ(m->faces[1], Face(1, 3, 2));
  }
  {
    // Range 5 .. 8 spans the vertex count, so it is not an offset range:
    // left alone, it names vertices that do not exist.
    Capture c;
    std::string t = ascii_mesh(0);
    t.replace(t.rfind("3 0 1 2"), 7, "3 5 1 2");
    EXPECT_FALSE(read_bytes("outside.ply", t));
    EXPECT_FALSE(c.has("Remapping"));
    EXPECT_TRUE(c.has("Face 0 uses vertex 5, outside 0 .. 3.\n"));
  }
}

TEST(NonFinite, VerticesAreDroppedWithTheirFaces) {
  Capture c;
  std::string t = "ply\nformat ascii 1.0\nelement vertex 5\n" + std::string(kXyz) +
                  "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                  "element face 2\nproperty list uchar int vertex_indices\nend_header\n"
                  "0 0 0 1 1 1\nnan 0 0 2 2 2\n1 0 0 3 3 3\n0 inf 1 4 4 4\n0 1 0 5 5 5\n"
                  "3 0 1 2\n3 0 2 4\n";
  auto m = read_bytes("nan.ply", t);
  ASSERT_TRUE(m);
  EXPECT_TRUE(c.has("Dropped 2 vertices with non-finite coordinates.\n"));
  ASSERT_EQ(m->vertices.size(), 3u);
  EXPECT_EQ(m->vertices[1], point(1, 0, 0));
  EXPECT_EQ(m->colors[2], Color::from_bytes(5, 5, 5));  // colours move with their vertex
  ASSERT_EQ(m->faces.size(), 1u);
  EXPECT_EQ(m->faces[0], Face(0, 1, 2));

  // A file of nothing but non-finite vertices yields no vertices: an error.
  std::string all_nan = "ply\nformat ascii 1.0\nelement vertex 1\n" + std::string(kXyz) +
                        "end_header\nnan nan nan\n";
  EXPECT_FALSE(read_bytes("allnan.ply", all_nan));
}

TEST(Hostile, HugeCountsFailFastWithoutHugeAllocations) {
  const std::string head = "ply\nformat binary_little_endian 1.0\n";
  struct Case {
    const char* name;
    std::string header;
    const char* message;
  } cases[] = {
      {"verts", "element vertex 2000000000\n" + std::string(kXyz) + "end_header\n",
       "Declared 2000000000 vertices"},
      {"faces", "element vertex 1\n" + std::string(kXyz) +
                    "element face 2000000000\nproperty list uchar int vertex_indices\nend_header\n",
       "Declared 2000000000 faces"},
      {"grid", "obj_info num_cols 50000\nobj_info num_rows 40000\nelement vertex 1\n" +
                   std::string(kXyz) +
                   "element range_grid 2000000000\nproperty list uchar int vertex_indices\nend_header\n",
       "Declared 2000000000 grid cells"},
      {"skip", "element junk 2000000000\nproperty double a\nelement vertex 1\n" + std::string(kXyz) +
                   "end_header\n",
       "Error reading file"},
  };
  for (const Case& k : cases) {
    Capture c;
    Bytes b;
    b.text(head + k.header).xyz(1, 2, 3);
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
// it would meet it (STL by name, the rest by their first bytes), is either
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
  Bytes stl;
  stl.text(std::string(80, ' ')).i32(2);
  for (int k = 0; k < 2; k++) stl.xyz(0, 0, 1).xyz(0, 0, 0).xyz(1, 0, 0).xyz(0, 1, 0).u16(0);
  Bytes tri;
  tri.u16(0x4100).i32(6 + 6 + 38 + 6 + 10).u16(0x4110).i32(6 + 38).u16(3);
  tri.xyz(0, 0, 0).xyz(1, 0, 0).xyz(0, 1, 0);
  tri.u16(0x4120).i32(6 + 10).u16(1).u16(0).u16(1).u16(2).u16(0);
  Bytes three_ds;
  three_ds.u16(0x4D4D).i32(6 + 6 + static_cast<int>(tri.str().size()));
  three_ds.u16(0x3D3D).i32(6 + static_cast<int>(tri.str().size())).text(tri.str());
  Bytes vivid(true);
  vivid.text("VIVID" + std::string(127, '\0')).i32(3);
  for (int k = 0; k < 9; k++) vivid.f64(k % 4 == 0 ? 1.0 : 0.0);
  vivid.i32(1).i32(3).i32(0).i32(1).i32(2);
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
      {"m.stl", stl.str(), true},
      {"a.stl", "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                "vertex 0 1 0\nendloop\nendfacet\nendsolid t\n", false},
      {"m.3ds", three_ds.str(), true},
      {"m.viv", vivid.str(), true},
      {"m.obj", "# OBJ\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1/1/1 2/2/2 3/3/3\nf -3 -2 -1\n"
                "f 1 2 4 3\n", false},
      {"m.off", "OFF\n4 2 0\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n3 0 1 2\n4 0 1 3 2\n", false},
      {"m.sm", "3\n0 0 0\n1 0 0\n0 1 0\n1\n0 1 2\n0 0\n", false},
      {"m.ray", "#material 0 0 0  1 1 1  0 0 0  0 0 0  0 0 1  -1  !!\n#vertex 0 0 0  0 0 1  0 0\n"
                "#vertex 1 0 0  0 0 1  0 0\n#vertex 0 1 0  0 0 1  0 0\n#shape_triangle 0  0 1 2\n",
       false},
  };
  set_verbose(false);
  for (const auto& file : files) {
    for (size_t n = 0; n <= file.bytes.size(); n++) {
      Capture c;
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
