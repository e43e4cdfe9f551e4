// Mesh writers: format choice from the name, the exact bytes of each
// format, failure messages, and write-then-read round trips for every
// format the readers accept.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "mesh/mesh_write.h"
#include "mesh/ply_test_util.h"

using ply_test::slurp;
using ply_test::temp_path;
using test_meshes::CapturedText;

namespace {

// A unit square in the z = 0 plane split into two triangles, lifted corner 3,
// with distinct colours, confidences and (given) normals.
TriMesh square() {
  TriMesh m;
  m.vertices = {point(0, 0, 0), point(1, 0, 0), point(1, 1, 0), point(0, 1, 0.25f)};
  m.faces = {Face(0, 1, 2), Face(0, 2, 3)};
  m.colors = {Color(1, 0, 0), Color(0, 1, 0), Color(0, 0, 1), Color(0.5f, 0.25f, 1)};
  m.confidences = {0.5f, 1.0f, 0.25f, 2.0f};
  m.normals = {point(0, 0, 1), point(0, 0, 1), point(0, 0, 1), point(0, 0.6f, 0.8f)};
  return m;
}

// Tolerance for values that went through "%.7g" text: seven significant digits.
constexpr float kTextTolerance = 1e-6f;
// A byte colour is within half a step of the float it came from.
constexpr float kByteColorTolerance = 0.5f / 255.0f + 1e-6f;

// Points or colours, component by component.
template <class T>
void expect_near(const std::vector<T>& got, const std::vector<T>& want, float tol) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); i++)
    for (int k = 0; k < 3; k++) EXPECT_NEAR(got[i][k], want[i][k], tol) << "element " << i;
}

std::unique_ptr<TriMesh> write_and_read(TriMesh& m, const std::string& prefix,
                                        const std::string& file) {
  EXPECT_TRUE(m.write_mesh(prefix + temp_path(file))) << prefix << file;
  return std::unique_ptr<TriMesh>(TriMesh::read_mesh(temp_path(file)));
}

}  // namespace

TEST(WriteName, EndingChoosesFormatAndPrefixesWin) {
  struct Case {
    const char* name;
    MeshFormat format;
    bool norm, grid, cflt;
    const char* rest;
  };
  const Case cases[] = {
      {"a.ply", MeshFormat::PLY_BINARY_LE, false, true, false, "a.ply"},
      {"a.ray", MeshFormat::RAY, false, true, false, "a.ray"},
      {"a.obj", MeshFormat::OBJ, false, true, false, "a.obj"},
      {"a.off", MeshFormat::OFF, false, true, false, "a.off"},
      {"a.sm", MeshFormat::SM, false, true, false, "a.sm"},
      {"a.stl", MeshFormat::STL, false, true, false, "a.stl"},
      {"a.c++", MeshFormat::SOURCE, false, true, false, "a.c++"},
      // Endings match without regard to case, as other systems write them.
      {"a.C", MeshFormat::SOURCE, false, true, false, "a.C"},
      {"a.c", MeshFormat::SOURCE, false, true, false, "a.c"},
      {"SCAN.PLY", MeshFormat::PLY_BINARY_LE, false, true, false, "SCAN.PLY"},
      {"part.Stl", MeshFormat::STL, false, true, false, "part.Stl"},
      {"asc:norm:out.dat", MeshFormat::PLY_ASCII, true, true, false, "out.dat"},
      // Prefixes in any order and any number; the last format prefix wins.
      {"nogrid:be:cflt:x.obj", MeshFormat::PLY_BINARY_BE, false, false, true, "x.obj"},
      {"obj:le:x.obj", MeshFormat::PLY_BINARY_LE, false, true, false, "x.obj"},
      {"ply_binary_be:ply_ascii:stl:x", MeshFormat::STL, false, true, false, "x"},
      {"dir/asc:x.ply", MeshFormat::PLY_BINARY_LE, false, true, false, "dir/asc:x.ply"},
  };
  for (const Case& c : cases) {
    WriteOptions options;
    const std::string rest = parse_write_name(c.name, options);
    EXPECT_EQ(options.format, c.format) << c.name;
    EXPECT_EQ(options.write_norm, c.norm) << c.name;
    EXPECT_EQ(options.write_grid, c.grid) << c.name;
    EXPECT_EQ(options.float_color, c.cflt) << c.name;
    EXPECT_EQ(rest, c.rest) << c.name;
  }
}

TEST(WriteMesh, AsciiPlyHoldsEveryFieldInHeaderOrder) {
  TriMesh m;
  m.vertices = {point(1.5f, -2, 0.1f), point(0, 0, 0), point(3, 4, 5)};
  m.faces = {Face(0, 1, 2)};
  // 0.5 * 255 + 0.5 = 128.0 exactly: the rounding goes up; out-of-range
  // components are clamped.
  m.colors = {Color(0.5f, 1, 0), Color(-1, 2, 0.2f), Color(0, 0, 0)};
  m.confidences = {0.75f, 1, 0};
  m.normals = {point(0, 0, 1), point(0, 1, 0), point(1, 0, 0)};
  const std::string path = temp_path("w_fields.ply");
  CapturedText text;
  ASSERT_TRUE(m.write_mesh("norm:asc:" + path));
  EXPECT_EQ(slurp(path),
            "ply\nformat ascii 1.0\nelement vertex 3\n"
            "property float x\nproperty float y\nproperty float z\n"
            "property float nx\nproperty float ny\nproperty float nz\n"
            "property uchar diffuse_red\nproperty uchar diffuse_green\n"
            "property uchar diffuse_blue\nproperty float confidence\n"
            "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
            "1.5 -2 0.1 0 0 1 128 255 0 0.75\n"
            "0 0 0 0 1 0 0 255 51 1\n"
            "3 4 5 1 0 0 0 0 0 0\n"
            "3 0 1 2\n");
  EXPECT_EQ(text.str(), "Writing " + path + "... Done.\n");
}

TEST(WriteMesh, PlyConnectivityIsGridThenStripsThenFaces) {
  TriMesh m = test_meshes::grid_mesh(2, 2, {2});
  m.tristrips = {4, 0, 1, 2, 3};
  const std::string path = temp_path("w_conn.ply");
  ASSERT_TRUE(m.write_mesh("asc:" + path));
  const std::string grid_text = slurp(path);
  EXPECT_NE(grid_text.find("obj_info num_cols 2\nobj_info num_rows 2\n"), std::string::npos);
  EXPECT_NE(grid_text.find("element range_grid 4\nproperty list uchar int vertex_indices\n"
                           "end_header\n"),
            std::string::npos);
  EXPECT_NE(grid_text.find("1 0\n1 1\n0\n1 3\n"), std::string::npos);

  // Without the grid the strips go out in terminated form; the mesh keeps
  // its length-prefixed stream.
  m.grid.clear();
  ASSERT_TRUE(m.write_mesh("asc:" + path));
  const std::string strip_text = slurp(path);
  EXPECT_EQ(strip_text.find("obj_info"), std::string::npos);
  EXPECT_NE(strip_text.find("element tristrips 1\nproperty list int int vertex_indices\n"),
            std::string::npos);
  EXPECT_NE(strip_text.find("1 1 1\n5 0 1 2 3 -1 \n"), std::string::npos);
  EXPECT_EQ(m.tristrips, (std::vector<int32_t>{4, 0, 1, 2, 3}));
}

TEST(WriteMesh, BinaryPlyByteOrderFollowsThePrefix) {
  TriMesh m;
  m.vertices = {point(1, 2, 3)};
  const std::string path = temp_path("w_order.ply"),
                    head = " 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                           "property float z\nend_header\n";
  // 1.0f = 0x3f800000, 2.0f = 0x40000000, 3.0f = 0x40400000.
  ASSERT_TRUE(m.write_mesh("le:" + path));
  EXPECT_EQ(slurp(path), "ply\nformat binary_little_endian" + head +
                             std::string("\x00\x00\x80\x3f\x00\x00\x00\x40\x00\x00\x40\x40", 12));
  ASSERT_TRUE(m.write_mesh("be:" + path));
  EXPECT_EQ(slurp(path), "ply\nformat binary_big_endian" + head +
                             std::string("\x3f\x80\x00\x00\x40\x00\x00\x00\x40\x40\x00\x00", 12));
}

TEST(WriteMesh, PlainTextFormatsAreExact) {
  TriMesh m;
  m.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0)};
  m.faces = {Face(0, 1, 2)};
  m.normals = {point(0, 0, 1), point(0, 0, 1), point(0, 0, 1)};
  const std::string path = temp_path("w_plain");
  ASSERT_TRUE(m.write_mesh("off:" + path));
  EXPECT_EQ(slurp(path), "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
  ASSERT_TRUE(m.write_mesh("sm:" + path));
  EXPECT_EQ(slurp(path), "3\n0 0 0\n1 0 0\n0 1 0\n1\n0 1 2\n0 0\n");
  ASSERT_TRUE(m.write_mesh("ray:" + path));
  EXPECT_EQ(slurp(path),
            "#camera 0 0 1 0 0 -1 0 1 0 0.2\n#background 0 0 0\n#ambient 0 0 0\n"
            "#material_num 1\n#material 0 0 0  1 1 1  0 0 0  0 0 0  0 0 1  -1  !!\n"
            "#vertex_num 3\n"
            "#vertex 0 0 0  0 0 1  0 0\n#vertex 1 0 0  0 0 1  0 0\n#vertex 0 1 0  0 0 1  0 0\n"
            "#shape_triangle 0  0 1 2\n");
  // OBJ indices are 1-based in the file and unchanged in the mesh.
  ASSERT_TRUE(m.write_mesh("norm:obj:" + path));
  EXPECT_EQ(slurp(path),
            "# OBJ\nv 0 0 0\nvn 0 0 1\nv 1 0 0\nvn 0 0 1\nv 0 1 0\nvn 0 0 1\n"
            "f 1//1 2//2 3//3\n");
  ASSERT_TRUE(m.write_mesh("obj:" + path));
  EXPECT_EQ(slurp(path), "# OBJ\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  EXPECT_EQ(m.faces[0], Face(0, 1, 2));
}

// STL: a blank 80-byte header, a little-endian count and unit facet normals;
// no vertex is shared, so every facet reads back with its own three corners.
TEST(WriteMesh, StlFacetsHaveUnitNormalsAndTheirOwnCorners) {
  TriMesh m = square();
  std::unique_ptr<TriMesh> back = write_and_read(m, "", "w_sq.stl");
  const std::string bytes = slurp(temp_path("w_sq.stl"));
  ASSERT_EQ(bytes.size(), 84u + 50u * 2u);
  EXPECT_EQ(bytes.substr(0, 84), std::string(80, ' ') + std::string("\x02\x00\x00\x00", 4));
  // Facet (0, 1, 2) lies in z = 0, counter-clockwise from +z.
  float normal[3];
  std::memcpy(normal, bytes.data() + 84, 12);
  EXPECT_EQ(point(normal), point(0, 0, 1));
  EXPECT_EQ(bytes.substr(84 + 48, 2), std::string("\0\0", 2));
  ASSERT_TRUE(back);
  ASSERT_EQ(back->vertices.size(), 6u);
  ASSERT_EQ(back->faces.size(), 2u);
  for (int f = 0; f < 2; f++)
    for (int j = 0; j < 3; j++) {
      EXPECT_EQ(back->faces[f][j], 3 * f + j);
      EXPECT_EQ(back->vertices[3 * f + j], m.vertices[m.faces[f][j]]);
    }
}

TEST(WriteMesh, SourceFileRebuildsTheMesh) {
  TriMesh m = square();
  ASSERT_TRUE(m.write_mesh(temp_path("w_my-square.cpp")));
  const std::string text = slurp(temp_path("w_my-square.cpp"));
  // The directory is dropped and "-" becomes "_": the function name compiles.
  EXPECT_EQ(text.find("#include <cstring>\n#include \"TriMesh.h\"\n\nTriMesh *make_mesh_test_"
                      "w_my_square()\n{\tstatic const float vertdata[][3] = {\n\t\t{ 0, 0, 0 },\n"),
            0u);
  for (const char* part :
       {"\tstatic const unsigned char colordata[][3] = {\n\t\t{ 255, 0, 0 },\n",
        "\tstatic const int facedata[][3] = {\n\t\t{ 0, 1, 2 },\n\t\t{ 0, 2, 3 },\n\t};\n",
        "\tm->faces.resize(2);\n\tstd::memcpy(&m->faces[0][0], facedata, sizeof(facedata));\n"})
    EXPECT_NE(text.find(part), std::string::npos) << part;
  // Byte colours are scaled into the float colours, never copied raw.
  EXPECT_EQ(text.find("sizeof(colordata)"), std::string::npos);
  EXPECT_EQ(text.find("normdata"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 14), "\n\treturn m;\n}\n");
}

TEST(WriteMesh, FailuresSayWhy) {
  TriMesh points, bad = square();
  points.vertices = {point(0, 0, 0), point(1, 0, 0)};
  bad.faces.push_back(Face(0, 1, 9));
  std::remove(temp_path("w_scan.dat").c_str());
  struct {
    TriMesh mesh;
    std::string name;
    const char* message;
  } cases[] = {
      {square(), "", "Can't write to empty filename.\n"},
      {TriMesh(), temp_path("w_empty.ply"), "Empty mesh - nothing to write.\n"},
      {square(), "asc:/nonexistent-dir/x.ply",
       "Error opening [/nonexistent-dir/x.ply] for writing: No such file or directory.\n"},
      // A name that says no format is refused rather than written as binary PLY.
      {square(), temp_path("w_scan.dat"), "Unknown file type for ["},
      // STL holds triangles only: a point set would give a file no reader takes back.
      {points, temp_path("w_points.stl"), "No faces to write: STL holds triangles only.\n"},
      // Faces pointing past the vertices have no STL facet normals.
      {bad, temp_path("w_bad.stl"), "Face 2 refers to vertex 9, which does not exist.\n"},
  };
  for (auto& c : cases) {
    CapturedText text;
    EXPECT_FALSE(c.mesh.write_mesh(c.name)) << c.message;
    EXPECT_TRUE(text.has(c.message)) << text.all();
  }
  EXPECT_FALSE(std::ifstream(temp_path("w_scan.dat")));
}

// /dev/full accepts the open and fails the writes (ENOSPC), so each writer
// fails partway; the mesh must come out exactly as it went in.
TEST(WriteMesh, FailedWriteReportsAndLeavesTheMeshAlone) {
  if (!std::ifstream("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TriMesh m = square();
  // Enough vertices that the data outruns the stream's buffer.
  for (int i = 0; i < 20000; i++) m.vertices.push_back(point(i, 2.0f * i, 3.0f * i));
  m.colors.resize(m.vertices.size(), Color(0.1f, 0.2f, 0.3f));
  m.confidences.resize(m.vertices.size(), 0.5f);
  m.normals.resize(m.vertices.size(), point(0, 0, 1));
  m.tristrips = {3, 0, 1, 2};
  const TriMesh before = m;
  for (const char* prefix : {"be:", "le:", "cflt:be:", "asc:", "obj:", "off:", "sm:", "stl:",
                             "ray:", "norm:be:"}) {
    CapturedText text;
    EXPECT_FALSE(m.write_mesh(std::string(prefix) + "/dev/full")) << prefix;
    EXPECT_EQ(text.errors(), "Error writing file [/dev/full]: No space left on device.\n") << prefix;
    EXPECT_EQ(m.vertices, before.vertices) << prefix;
    EXPECT_EQ(m.colors, before.colors) << prefix;
    EXPECT_EQ(m.confidences, before.confidences) << prefix;
    EXPECT_EQ(m.normals, before.normals) << prefix;
    EXPECT_EQ(m.tristrips, before.tristrips) << prefix;
    EXPECT_EQ(m.faces, before.faces) << prefix;
  }
}

// Every format gives back what it carries: PLY every field, OBJ positions,
// faces and (asked for) normals, the others positions and faces.
TEST(WriteMesh, RoundTripKeepsWhatEachFormatCarries) {
  const struct {
    const char* name;  // prefixes and file name
    bool exact;        // binary floats come back bit for bit
    bool every_field, float_color, normals;
  } cases[] = {
      {"norm:asc:rt.ply", false, true, false, true},   {"norm:le:rt.ply", true, true, false, true},
      {"norm:be:rt.ply", true, true, false, true},     {"norm:cflt:asc:rt.ply", false, true, true, true},
      {"norm:cflt:be:rt.ply", true, true, true, true}, {"norm:rt.obj", false, false, false, true},
      {"rt.ray", false, false, false, false},          {"rt.off", false, false, false, false},
      {"rt.sm", false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TriMesh m = square();
    const std::string name = c.name, file = name.substr(name.rfind(':') + 1);
    std::unique_ptr<TriMesh> back = write_and_read(m, name.substr(0, name.size() - file.size()), file);
    ASSERT_TRUE(back);
    const float tol = c.exact ? 0.0f : kTextTolerance;
    expect_near(back->vertices, m.vertices, tol);
    EXPECT_EQ(back->faces, m.faces);
    if (c.normals) expect_near(back->normals, m.normals, tol);
    if (!c.every_field) continue;
    expect_near(back->colors, m.colors, c.float_color ? tol : kByteColorTolerance);
    ASSERT_EQ(back->confidences.size(), m.confidences.size());
    for (size_t i = 0; i < m.confidences.size(); i++)
      EXPECT_NEAR(back->confidences[i], m.confidences[i], tol);
  }
}

// Strips and grids come back from PLY; the reader triangulates the grid it
// finds (equal diagonals: (ll, lr, ul) and (lr, ur, ul)). "nogrid:" writes
// those triangles as faces and no grid, as the face-only formats do; the
// mesh itself keeps its grid and gains no faces.
TEST(WriteMesh, PlyRoundTripOfStripsAndGrid) {
  TriMesh strips;
  strips.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), point(1, 1, 0)};
  strips.tristrips = {4, 0, 1, 2, 3};
  TriMesh grid = test_meshes::grid_mesh(2, 2);
  const std::vector<Face> grid_faces = {Face(0, 1, 2), Face(1, 3, 2)};
  for (const std::string prefix : {"asc:", "be:"}) {
    SCOPED_TRACE(prefix);
    std::unique_ptr<TriMesh> back = write_and_read(strips, prefix, "w_strips.ply");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->tristrips, strips.tristrips);
    for (const std::string& grid_prefix : {std::string(), std::string("nogrid:")}) {
      back = write_and_read(grid, grid_prefix + prefix, "w_grid.ply");
      ASSERT_TRUE(back);
      EXPECT_EQ(back->faces, grid_faces);
      const bool written = slurp(temp_path("w_grid.ply")).find("range_grid") != std::string::npos;
      EXPECT_EQ(written, grid_prefix.empty());
    }
  }
  ASSERT_TRUE(grid.write_mesh(temp_path("w_grid.obj")));
  EXPECT_NE(slurp(temp_path("w_grid.obj")).find("f 1 2 3\nf 2 4 3\n"), std::string::npos);
  EXPECT_EQ(grid.grid, (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_TRUE(grid.faces.empty());
}
