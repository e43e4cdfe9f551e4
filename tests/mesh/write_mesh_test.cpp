// Mesh writers: format choice from the name, the exact text of the plain
// formats, failure messages, and write-then-read round trips for every
// format the readers accept.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"
#include "mesh/mesh_write.h"

namespace {

std::string temp_path(const std::string& name) {
  const char* dir = std::getenv("ICP_TEST_TMP");
  return std::string(dir ? dir : "/tmp") + "/write_mesh_test_" + name;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Collects everything the mesh library prints while a test runs.
std::string g_errors, g_progress;
void collect_error(const char* text) { g_errors += text; }
void collect_progress(const char* text) { g_progress += text; }

class WriteMesh : public ::testing::Test {
 protected:
  void SetUp() override {
    g_errors.clear();
    g_progress.clear();
    set_error_hook(collect_error);
    set_progress_hook(collect_progress);
  }
  void TearDown() override {
    set_error_hook(nullptr);
    set_progress_hook(nullptr);
  }
};

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

void expect_points_near(const std::vector<point>& got, const std::vector<point>& want,
                        float tol, const char* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < want.size(); i++)
    for (int k = 0; k < 3; k++) EXPECT_NEAR(got[i][k], want[i][k], tol) << what << " " << i;
}

void expect_colors_near(const std::vector<Color>& got, const std::vector<Color>& want,
                        float tol) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); i++)
    for (int k = 0; k < 3; k++) EXPECT_NEAR(got[i][k], want[i][k], tol) << "colour " << i;
}

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

TEST_F(WriteMesh, AsciiPlyHoldsEveryFieldInHeaderOrder) {
  TriMesh m;
  m.vertices = {point(1.5f, -2, 0.1f), point(0, 0, 0), point(3, 4, 5)};
  m.faces = {Face(0, 1, 2)};
  // 0.5 * 255 + 0.5 = 128.0 exactly: the rounding goes up; out-of-range
  // components are clamped.
  m.colors = {Color(0.5f, 1, 0), Color(-1, 2, 0.2f), Color(0, 0, 0)};
  m.confidences = {0.75f, 1, 0};
  m.normals = {point(0, 0, 1), point(0, 1, 0), point(1, 0, 0)};
  const std::string path = temp_path("fields.ply");
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
  EXPECT_EQ(g_progress, "Writing " + path + "... Done.\n");
}

TEST_F(WriteMesh, PlyConnectivityIsGridThenStripsThenFaces) {
  TriMesh m;
  m.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), point(1, 1, 0)};
  m.tristrips = {4, 0, 1, 2, 3};
  m.grid = {0, 1, -1, 3};
  m.grid_width = m.grid_height = 2;
  const std::string path = temp_path("conn.ply");
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
  EXPECT_NE(strip_text.find("1 1 0\n5 0 1 2 3 -1 \n"), std::string::npos);
  EXPECT_EQ(m.tristrips, (std::vector<int32_t>{4, 0, 1, 2, 3}));
}

TEST_F(WriteMesh, BinaryPlyByteOrderFollowsThePrefix) {
  TriMesh m;
  m.vertices = {point(1, 2, 3)};
  const std::string le = temp_path("le.ply"), be = temp_path("be.ply");
  ASSERT_TRUE(m.write_mesh("le:" + le));
  ASSERT_TRUE(m.write_mesh("be:" + be));
  auto header = [](const char* format) {
    return std::string("ply\nformat ") + format +
           " 1.0\nelement vertex 1\n"
           "property float x\nproperty float y\nproperty float z\nend_header\n";
  };
  // 1.0f = 0x3f800000, 2.0f = 0x40000000, 3.0f = 0x40400000.
  EXPECT_EQ(slurp(le), header("binary_little_endian") +
                           std::string("\x00\x00\x80\x3f\x00\x00\x00\x40\x00\x00\x40\x40", 12));
  const std::string want_be =
      header("binary_big_endian") +
      std::string("\x3f\x80\x00\x00\x40\x00\x00\x00\x40\x40\x00\x00", 12);
  EXPECT_EQ(slurp(be), want_be);
}

TEST_F(WriteMesh, PlainTextFormatsAreExact) {
  TriMesh m;
  m.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0)};
  m.faces = {Face(0, 1, 2)};
  m.normals = {point(0, 0, 1), point(0, 0, 1), point(0, 0, 1)};
  const std::string path = temp_path("plain");
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

TEST_F(WriteMesh, StlHasUnitFacetNormalsAndLittleEndianCounts) {
  TriMesh m = square();
  const std::string path = temp_path("sq.stl");
  ASSERT_TRUE(m.write_mesh(path));
  const std::string bytes = slurp(path);
  ASSERT_EQ(bytes.size(), 84u + 50u * 2u);
  EXPECT_EQ(bytes.substr(0, 80), std::string(80, ' '));
  EXPECT_EQ(bytes.substr(80, 4), std::string("\x02\x00\x00\x00", 4));
  // First facet (0, 1, 2) lies in z = 0, counter-clockwise from +z: normal (0, 0, 1).
  float normal[3], corner1[3];
  std::memcpy(normal, bytes.data() + 84, 12);
  std::memcpy(corner1, bytes.data() + 84 + 24, 12);
  EXPECT_EQ(normal[0], 0.0f);
  EXPECT_EQ(normal[1], 0.0f);
  EXPECT_EQ(normal[2], 1.0f);
  EXPECT_EQ(point(corner1), m.vertices[1]);
  EXPECT_EQ(bytes.substr(84 + 48, 2), std::string("\0\0", 2));
}

TEST_F(WriteMesh, SourceFileRebuildsTheMesh) {
  TriMesh m = square();
  const std::string path = temp_path("my-square.cpp");
  ASSERT_TRUE(m.write_mesh(path));
  const std::string text = slurp(path);
  // The directory is dropped and "-" becomes "_": the function name compiles.
  EXPECT_EQ(text.find("#include <cstring>\n#include \"TriMesh.h\"\n\nTriMesh *make_write_mesh_"
                      "test_my_square()\n{\tstatic const float vertdata[][3] = {\n"
                      "\t\t{ 0, 0, 0 },\n"),
            0u);
  EXPECT_NE(text.find("\tstatic const unsigned char colordata[][3] = {\n\t\t{ 255, 0, 0 },\n"),
            std::string::npos);
  EXPECT_NE(text.find("\tstatic const int facedata[][3] = {\n\t\t{ 0, 1, 2 },\n"
                      "\t\t{ 0, 2, 3 },\n\t};\n"),
            std::string::npos);
  EXPECT_NE(text.find("\tm->faces.resize(2);\n"
                      "\tstd::memcpy(&m->faces[0][0], facedata, sizeof(facedata));\n"),
            std::string::npos);
  // Byte colours are scaled into the float colours, never copied raw.
  EXPECT_EQ(text.find("sizeof(colordata)"), std::string::npos);
  EXPECT_EQ(text.find("normdata"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 14), "\n\treturn m;\n}\n");
}

TEST_F(WriteMesh, FailuresSayWhy) {
  TriMesh m = square();
  EXPECT_FALSE(m.write_mesh(""));
  EXPECT_EQ(g_errors, "Can't write to empty filename.\n");

  g_errors.clear();
  TriMesh empty;
  EXPECT_FALSE(empty.write_mesh(temp_path("empty.ply")));
  EXPECT_EQ(g_errors, "Empty mesh - nothing to write.\n");

  g_errors.clear();
  EXPECT_FALSE(m.write_mesh("asc:/nonexistent-dir/x.ply"));
  EXPECT_EQ(g_errors,
            "Error opening [/nonexistent-dir/x.ply] for writing: No such file or directory.\n");

  // A name that says no format is refused rather than written as binary PLY.
  g_errors.clear();
  std::remove(temp_path("scan.dat").c_str());
  EXPECT_FALSE(m.write_mesh(temp_path("scan.dat")));
  EXPECT_EQ(g_errors.rfind("Unknown file type for [", 0), 0u) << g_errors;
  EXPECT_FALSE(std::ifstream(temp_path("scan.dat")));

  // STL holds triangles only: a point set would give a file no reader takes back.
  g_errors.clear();
  TriMesh points;
  points.vertices = {point(0, 0, 0), point(1, 0, 0)};
  EXPECT_FALSE(points.write_mesh(temp_path("points.stl")));
  EXPECT_EQ(g_errors, "No faces to write: STL holds triangles only.\n");

  // A mesh with faces pointing past its vertices has no STL facet normals.
  g_errors.clear();
  TriMesh bad = square();
  bad.faces.push_back(Face(0, 1, 9));
  EXPECT_FALSE(bad.write_mesh(temp_path("bad.stl")));
  EXPECT_NE(g_errors.find("Face 2 refers to vertex 9, which does not exist.\n"),
            std::string::npos);
}

// /dev/full accepts the open and fails the writes (ENOSPC), so each writer
// fails partway; the mesh must come out exactly as it went in.
TEST_F(WriteMesh, FailedWriteReportsAndLeavesTheMeshAlone) {
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
    g_errors.clear();
    EXPECT_FALSE(m.write_mesh(std::string(prefix) + "/dev/full")) << prefix;
    EXPECT_EQ(g_errors, "Error writing file [/dev/full].\n") << prefix;
    EXPECT_EQ(m.vertices, before.vertices) << prefix;
    EXPECT_EQ(m.colors, before.colors) << prefix;
    EXPECT_EQ(m.confidences, before.confidences) << prefix;
    EXPECT_EQ(m.normals, before.normals) << prefix;
    EXPECT_EQ(m.tristrips, before.tristrips) << prefix;
    EXPECT_EQ(m.faces, before.faces) << prefix;
  }
}

// ---- Round trips through the readers ------------------------------------

std::unique_ptr<TriMesh> write_and_read(TriMesh& m, const std::string& prefix,
                                        const std::string& file) {
  const std::string path = temp_path(file);
  EXPECT_TRUE(m.write_mesh(prefix + path)) << prefix << file;
  return std::unique_ptr<TriMesh>(TriMesh::read_mesh(path));
}

// Every format gives back what it carries: PLY every field, OBJ positions,
// faces and (asked for) normals, the others positions and faces.
TEST_F(WriteMesh, RoundTripKeepsWhatEachFormatCarries) {
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
    ASSERT_TRUE(back) << g_errors;
    const float tol = c.exact ? 0.0f : kTextTolerance;
    expect_points_near(back->vertices, m.vertices, tol, c.name);
    EXPECT_EQ(back->faces, m.faces);
    if (c.normals) expect_points_near(back->normals, m.normals, tol, c.name);
    if (!c.every_field) continue;
    expect_colors_near(back->colors, m.colors, c.float_color ? tol : kByteColorTolerance);
    ASSERT_EQ(back->confidences.size(), m.confidences.size());
    for (size_t i = 0; i < m.confidences.size(); i++)
      EXPECT_NEAR(back->confidences[i], m.confidences[i], tol);
  }
}

TEST_F(WriteMesh, PlyRoundTripOfStripsAndGrid) {
  TriMesh strips;
  strips.vertices = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0), point(1, 1, 0)};
  strips.tristrips = {4, 0, 1, 2, 3};
  for (const char* prefix : {"asc:", "be:"}) {
    std::unique_ptr<TriMesh> back = write_and_read(strips, prefix, "strips.ply");
    ASSERT_TRUE(back) << prefix << g_errors;
    EXPECT_EQ(back->tristrips, strips.tristrips) << prefix;
  }

  TriMesh grid;
  grid.vertices = {point(0, 0, 0.5f), point(1, 0, 0.5f), point(0, 1, 0.5f), point(1, 1, 0.5f)};
  grid.grid = {0, 1, 2, 3};
  grid.grid_width = grid.grid_height = 2;
  // The reader triangulates the grid it finds: a square whose diagonals are
  // equal gives (ll, lr, ul) and (lr, ur, ul).
  for (const char* prefix : {"asc:", "le:"}) {
    std::unique_ptr<TriMesh> back = write_and_read(grid, prefix, "grid.ply");
    ASSERT_TRUE(back) << prefix << g_errors;
    EXPECT_EQ(back->faces, (std::vector<Face>{Face(0, 1, 2), Face(1, 3, 2)})) << prefix;
  }
}

// "nogrid:" writes the grid's triangles as faces and leaves no trace of the
// grid in the header; the mesh itself keeps its grid and gains no faces.
TEST_F(WriteMesh, NogridWritesFacesInsteadOfTheGrid) {
  TriMesh grid;
  grid.vertices = {point(0, 0, 0.5f), point(1, 0, 0.5f), point(0, 1, 0.5f), point(1, 1, 0.5f)};
  grid.grid = {0, 1, 2, 3};
  grid.grid_width = grid.grid_height = 2;
  const std::string path = temp_path("nogrid.ply");
  ASSERT_TRUE(grid.write_mesh("nogrid:asc:" + path));
  const std::string text = slurp(path);
  EXPECT_EQ(text.find("obj_info"), std::string::npos);
  EXPECT_EQ(text.find("range_grid"), std::string::npos);
  EXPECT_NE(text.find("element face 2\n"), std::string::npos);
  std::unique_ptr<TriMesh> back(TriMesh::read_mesh(path));
  ASSERT_TRUE(back) << g_errors;
  EXPECT_EQ(back->faces, (std::vector<Face>{Face(0, 1, 2), Face(1, 3, 2)}));
  EXPECT_TRUE(back->grid.empty());
  EXPECT_EQ(grid.grid, (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(grid.grid_width, 2);
  EXPECT_TRUE(grid.faces.empty());
  // The same holds for the formats that only know faces.
  ASSERT_TRUE(grid.write_mesh(temp_path("grid.obj")));
  EXPECT_NE(slurp(temp_path("grid.obj")).find("f 1 2 3\nf 2 4 3\n"), std::string::npos);
  EXPECT_EQ(grid.grid.size(), 4u);
}

// STL does not share vertices: every facet brings its own three corners.
TEST_F(WriteMesh, StlRoundTripUnsharesVertices) {
  TriMesh m = square();
  std::unique_ptr<TriMesh> back = write_and_read(m, "", "rt.stl");
  ASSERT_TRUE(back) << g_errors;
  ASSERT_EQ(back->vertices.size(), 6u);
  ASSERT_EQ(back->faces.size(), 2u);
  for (int f = 0; f < 2; f++)
    for (int j = 0; j < 3; j++) {
      EXPECT_EQ(back->faces[f][j], 3 * f + j);
      EXPECT_EQ(back->vertices[3 * f + j], m.vertices[m.faces[f][j]]);
    }
}

}  // namespace
