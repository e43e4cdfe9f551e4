// Readers of the non-PLY formats, fed directly with the stream positioned as
// the dispatcher leaves it: what each reads, and how each fails on hostile
// or truncated input.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

using Reader = bool (*)(TriMesh&, std::FILE*);

std::string g_errors;
void collect_error(const char* text) { g_errors += text; }
void drop_progress(const char*) {}

class OtherReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    g_errors.clear();
    set_error_hook(collect_error);
    set_progress_hook(drop_progress);
  }
  void TearDown() override {
    set_error_hook(nullptr);
    set_progress_hook(nullptr);
  }
};

// Runs `reader` on `bytes` held in a regular (temporary) file, starting
// after the first `consumed` bytes, which the dispatcher would have taken.
bool read_bytes(Reader reader, const std::string& bytes, TriMesh& mesh, size_t consumed = 0) {
  std::FILE* f = std::tmpfile();
  if (!f) return false;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fseek(f, static_cast<long>(std::min(consumed, bytes.size())), SEEK_SET);
  const bool ok = reader(mesh, f);
  std::fclose(f);
  return ok;
}

// The same through a pipe, whose length the reader cannot know in advance.
bool read_piped(Reader reader, const std::string& bytes, TriMesh& mesh) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  // Small inputs fit in the pipe's buffer, so one write before reading is safe.
  const bool written = write(fds[1], bytes.data(), bytes.size()) ==
                       static_cast<ssize_t>(bytes.size());
  close(fds[1]);
  std::FILE* f = fdopen(fds[0], "rb");
  const bool ok = written && f && reader(mesh, f);
  if (f) std::fclose(f);
  return ok;
}

// ---- Little builders of binary files ------------------------------------

void put_u16le(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xff);
  s += static_cast<char>(v >> 8);
}
void put_u32le(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; i++) s += static_cast<char>((v >> (8 * i)) & 0xff);
}
void put_f32le(std::string& s, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  put_u32le(s, bits);
}
void put_u32be(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; i--) s += static_cast<char>((v >> (8 * i)) & 0xff);
}
void put_f64be(std::string& s, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  for (int i = 7; i >= 0; i--) s += static_cast<char>((bits >> (8 * i)) & 0xff);
}

std::string stl_file(const std::vector<std::vector<point>>& facets) {
  std::string s(80, 'x');
  put_u32le(s, static_cast<uint32_t>(facets.size()));
  for (const auto& corners : facets) {
    for (int k = 0; k < 3; k++) put_f32le(s, 9.0f);  // a wrong normal: it is ignored
    for (const point& p : corners)
      for (int k = 0; k < 3; k++) put_f32le(s, p[k]);
    put_u16le(s, 0);
  }
  return s;
}

std::string chunk(uint16_t id, const std::string& body) {
  std::string s;
  put_u16le(s, id);
  put_u32le(s, static_cast<uint32_t>(6 + body.size()));
  return s + body;
}

// One 3DS object: a triangle mesh with the given vertices and faces, plus a
// material sub-chunk after the faces (skipped by the reader).
std::string object_3ds(const char* name, const std::vector<point>& verts,
                       const std::vector<Face>& faces) {
  std::string vlist;
  put_u16le(vlist, static_cast<uint16_t>(verts.size()));
  for (const point& p : verts)
    for (int k = 0; k < 3; k++) put_f32le(vlist, p[k]);
  std::string flist;
  put_u16le(flist, static_cast<uint16_t>(faces.size()));
  for (const Face& f : faces) {
    for (int k = 0; k < 3; k++) put_u16le(flist, static_cast<uint16_t>(f[k]));
    put_u16le(flist, 7);  // edge flags
  }
  flist += chunk(0x4130, std::string("mat\0\x01\x00\x00\x00", 8));
  const std::string mesh = chunk(0x4110, vlist) + chunk(0x4120, flist);
  return chunk(0x4000, std::string(name) + '\0' + chunk(0x4100, mesh));
}

std::string file_3ds(const std::string& objects) {
  // A version chunk before the editor and a keyframer chunk after it are skipped.
  std::string version;
  put_u32le(version, 3);
  return chunk(0x4D4D, chunk(0x0002, version) + chunk(0x3D3D, objects) +
                           chunk(0xB000, std::string(10, '\0')));
}

std::string vivid_file(const std::vector<point>& verts, const std::vector<Face>& faces) {
  std::string s = "VIVID" + std::string(127, '\0');
  put_u32be(s, static_cast<uint32_t>(verts.size()));
  for (const point& p : verts)
    for (int k = 0; k < 3; k++) put_f64be(s, p[k]);
  put_u32be(s, static_cast<uint32_t>(faces.size()));
  for (const Face& f : faces) {
    put_u32be(s, 3);
    for (int k = 0; k < 3; k++) put_u32be(s, static_cast<uint32_t>(f[k]));
  }
  return s;
}

const std::vector<point> kTriangle = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0.5f)};

// ---- What each reader reads ----------------------------------------------

TEST_F(OtherReaders, ObjIndexFormsAllNameTheSameVertices) {
  const std::string verts = "v 0 0 0\nv 1 0 0\nv 0 1 0.5\n";
  for (const char* face_line : {"f 1 2 3\n", "f 1/1/1 2/2/2 3/3/3\n", "f 1//1 2//2 3//3\n",
                                "f -3 -2 -1\n", "f\t1 2 3 # comment tokens end the list\n",
                                "t 1/4 2/5 3/6\r\n"}) {
    TriMesh m;
    ASSERT_TRUE(read_bytes(read_obj, verts + face_line, m)) << face_line << g_errors;
    EXPECT_EQ(m.vertices, kTriangle) << face_line;
    ASSERT_EQ(m.faces.size(), 1u) << face_line;
    EXPECT_EQ(m.faces[0], Face(0, 1, 2)) << face_line;
  }
  // Negative indices count back from the vertices read so far, not the total.
  TriMesh m;
  ASSERT_TRUE(read_bytes(read_obj, verts + "f -3 -2 -1\nv 5 5 5\nf -3 -2 -1\n", m));
  ASSERT_EQ(m.faces.size(), 2u);
  EXPECT_EQ(m.faces[1], Face(1, 2, 3));
}

TEST_F(OtherReaders, ObjReadsNormalsAndSkipsOtherRecords) {
  TriMesh m;
  // As after the dispatcher took "#" and the token "OBJ" of the first line.
  ASSERT_TRUE(read_bytes(read_obj,
                         "# OBJ file\ng group\nvt 0.5 0.5\nusemtl red\nv 1 2 3\nvn 0 0 1\n"
                         "vp 1 2 3\nvertex 9 9 9\nv\t4 5 6\nvn\t0 1 0\n",
                         m, 5));
  EXPECT_EQ(m.vertices, (std::vector<point>{point(1, 2, 3), point(4, 5, 6)}));
  EXPECT_EQ(m.normals, (std::vector<point>{point(0, 0, 1), point(0, 1, 0)}));
  EXPECT_TRUE(m.faces.empty());

  TriMesh bad;
  EXPECT_FALSE(read_bytes(read_obj, "v 1 2 3\nv 1 2\n", bad));
  EXPECT_EQ(g_errors, "Couldn't read vertex on line 2.\n");
}

// add_polygon splits a quad along its shorter diagonal.
TEST_F(OtherReaders, ObjQuadSplitsAlongTheShorterDiagonal) {
  // A kite: the 0-2 diagonal (length 2) is shorter than the 1-3 one (length 6).
  TriMesh kite;
  ASSERT_TRUE(read_bytes(read_obj, "v 0 0 0\nv 1 -3 0\nv 2 0 0\nv 1 3 0\nf 1 2 3 4\n", kite));
  EXPECT_EQ(kite.faces, (std::vector<Face>{Face(0, 1, 2), Face(0, 2, 3)}));
  // Turned a quarter: now 1-3 is the shorter one.
  TriMesh turned;
  ASSERT_TRUE(read_bytes(read_obj, "v 0 0 0\nv 3 -1 0\nv 6 0 0\nv 3 1 0\nf 1 2 3 4\n", turned));
  EXPECT_EQ(turned.faces, (std::vector<Face>{Face(1, 2, 3), Face(1, 3, 0)}));
}

TEST_F(OtherReaders, StlFacetsBringTheirOwnVertices) {
  const std::vector<std::vector<point>> facets = {
      kTriangle, {point(1, 0, 0), point(1, 1, 0), point(0, 1, 0.5f)}};
  TriMesh m;
  ASSERT_TRUE(read_bytes(read_stl, stl_file(facets), m)) << g_errors;
  ASSERT_EQ(m.vertices.size(), 6u);
  EXPECT_EQ(m.faces, (std::vector<Face>{Face(0, 1, 2), Face(3, 4, 5)}));
  for (int f = 0; f < 2; f++)
    for (int j = 0; j < 3; j++) EXPECT_EQ(m.vertices[3 * f + j], facets[f][j]);
  // The normal is not stored: it is recomputed on demand.
  EXPECT_TRUE(m.normals.empty());

  TriMesh piped;
  ASSERT_TRUE(read_piped(read_stl, stl_file(facets), piped));
  EXPECT_EQ(piped.vertices, m.vertices);
}

TEST_F(OtherReaders, ThreeDsObjectsAreOffsetByTheirBase) {
  const std::vector<point> second = {point(5, 5, 5), point(6, 5, 5), point(5, 6, 5),
                                     point(6, 6, 5)};
  const std::string file = file_3ds(object_3ds("one", kTriangle, {Face(0, 1, 2)}) +
                                    object_3ds("two", second, {Face(0, 1, 3), Face(0, 3, 2)}));
  TriMesh m;
  ASSERT_TRUE(read_bytes(read_3ds, file, m)) << g_errors;
  ASSERT_EQ(m.vertices.size(), 7u);
  EXPECT_EQ(m.vertices[0], kTriangle[0]);
  EXPECT_EQ(m.vertices[6], second[3]);
  EXPECT_EQ(m.faces, (std::vector<Face>{Face(0, 1, 2), Face(3, 4, 6), Face(3, 6, 5)}));

  TriMesh piped;
  ASSERT_TRUE(read_piped(read_3ds, file, piped)) << g_errors;
  EXPECT_EQ(piped.faces, m.faces);
}

TEST_F(OtherReaders, VividHoldsBigEndianDoublesAndCountedFaces) {
  TriMesh m;
  ASSERT_TRUE(read_bytes(read_vivid, vivid_file(kTriangle, {Face(2, 1, 0)}), m, 5)) << g_errors;
  EXPECT_EQ(m.vertices, kTriangle);
  EXPECT_EQ(m.faces, (std::vector<Face>{Face(2, 1, 0)}));
}

TEST_F(OtherReaders, RayTakesVertexAndTriangleRecordsOnly) {
  TriMesh m;
  ASSERT_TRUE(read_bytes(read_ray,
                         "#camera 0 0 1 0 0 -1 0 1 0 0.2\n#material_num 1\n"
                         "#material 0 0 0  1 1 1  0 0 0  0 0 0  0 0 1  -1  !!\n"
                         "#vertex_num 3\n#vertex 0 0 0  0 0 1  0 0\n"
                         "#vertex 1 0 0  0 0 1  0 0\n#vertex 0 1 0.5  0 0 1  0 0\n"
                         "#shape_triangle 0  0 1 2\n",
                         m))
      << g_errors;
  EXPECT_EQ(m.vertices, kTriangle);
  EXPECT_EQ(m.faces, (std::vector<Face>{Face(0, 1, 2)}));

  TriMesh bad;
  EXPECT_FALSE(read_bytes(read_ray, "#vertex 1 2\n#vertex 1 2 3\n", bad));
}

TEST_F(OtherReaders, OffAndSmCountsThenLists) {
  // OFF: the dispatcher has taken "OFF"; comments may precede the counts,
  // and a face line may carry a colour after its indices.
  TriMesh off;
  ASSERT_TRUE(read_bytes(read_off,
                         "OFF\n# made by hand\n4 2\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n"
                         "3 0 1 2 255 0 0\n4 0 1 2 3\n",
                         off, 3))
      << g_errors;
  EXPECT_EQ(off.vertices.size(), 4u);
  // The quad's diagonals are equal: split along 1-3.
  EXPECT_EQ(off.faces, (std::vector<Face>{Face(0, 1, 2), Face(1, 2, 3), Face(1, 3, 0)}));

  TriMesh sm;
  ASSERT_TRUE(read_bytes(read_sm, "3\n0 0 0\n1 0 0\n0 1 0.5\n1\n0 1 2\n0 0\n", sm));
  EXPECT_EQ(sm.vertices, kTriangle);
  EXPECT_EQ(sm.faces, (std::vector<Face>{Face(0, 1, 2)}));
  // Without a face count the file is a point set.
  TriMesh points;
  ASSERT_TRUE(read_bytes(read_sm, "3\n0 0 0\n1 0 0\n0 1 0.5\n", points));
  EXPECT_EQ(points.vertices, kTriangle);
  EXPECT_TRUE(points.faces.empty());
}

// ---- Hostile input ----------------------------------------------------------

// Counts far beyond what the file holds fail at once, before any allocation
// sized by them: from a regular file by its size, from a pipe at its end.
TEST_F(OtherReaders, CountsBeyondTheDataFailQuickly) {
  std::string stl(80, ' ');
  put_u32le(stl, 0xFFFFFFFFu);
  TriMesh m1;
  EXPECT_FALSE(read_bytes(read_stl, stl, m1));
  EXPECT_NE(g_errors.find("more than the rest of the file can hold"), std::string::npos);
  TriMesh m2;
  EXPECT_FALSE(read_piped(read_stl, stl + std::string(49, '\0'), m2));
  EXPECT_LE(m2.vertices.capacity(), 1u << 20);

  std::string vivid = "VIVID" + std::string(127, '\0');
  put_u32be(vivid, 0x7FFFFFFF);
  TriMesh m3;
  EXPECT_FALSE(read_bytes(read_vivid, vivid, m3, 5));
  TriMesh m4;
  EXPECT_FALSE(read_bytes(read_vivid, vivid_file(kTriangle, {}).substr(0, 132 + 4 + 72) +
                                          std::string("\x7f\xff\xff\xff", 4),
                          m4, 5));

  // An unknown chunk that claims nearly 4 GiB.
  std::string huge;
  put_u16le(huge, 0xB000);
  put_u32le(huge, 0xFFFFFFF0u);
  TriMesh m5;
  g_errors.clear();
  EXPECT_FALSE(read_bytes(read_3ds, chunk(0x4D4D, huge + "tail"), m5));
  EXPECT_EQ(g_errors, "Chunk 0xB000 runs past the end of the file.\n");
  TriMesh m6;
  EXPECT_FALSE(read_piped(read_3ds, chunk(0x4D4D, huge + "tail"), m6));
}

TEST_F(OtherReaders, ThreeDsFaceBeyondItsObjectIsRejected) {
  TriMesh m;
  EXPECT_FALSE(read_bytes(read_3ds, file_3ds(object_3ds("o", kTriangle, {Face(0, 1, 3)})), m));
  EXPECT_EQ(g_errors, "Face 0 refers to vertex 3 of an object with 3 vertices.\n");
}

// Every proper prefix of a valid binary file fails without a crash (the
// sanitizer build checks memory use); the text formats may accept a prefix
// that happens to be a shorter valid file, but must never crash on one.
TEST_F(OtherReaders, EveryTruncationIsSafe) {
  struct Case {
    const char* name;
    Reader reader;
    std::string bytes;
    size_t consumed;
    bool every_prefix_fails;
  };
  const std::vector<Case> cases = {
      {"stl", read_stl, stl_file({kTriangle, kTriangle}), 0, true},
      {"3ds", read_3ds, file_3ds(object_3ds("o", kTriangle, {Face(0, 1, 2)})), 0, true},
      {"vivid", read_vivid, vivid_file(kTriangle, {Face(0, 1, 2)}), 5, true},
      {"obj", read_obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1/1 2/2 3/3 -1\n", 0, false},
      {"off", read_off, "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", 3, false},
      {"sm", read_sm, "3\n0 0 0\n1 0 0\n0 1 0\n1\n0 1 2\n0 0\n", 0, false},
      {"ray", read_ray, "#vertex 0 0 0\n#vertex 1 0 0\n#vertex 0 1 0\n#shape_triangle 0 0 1 2\n",
       0, false},
  };
  for (const Case& c : cases) {
    TriMesh whole;
    ASSERT_TRUE(read_bytes(c.reader, c.bytes, whole, c.consumed)) << c.name << g_errors;
    for (size_t n = c.consumed + 1; n < c.bytes.size(); n++) {
      TriMesh m;
      const bool ok = read_bytes(c.reader, c.bytes.substr(0, n), m, c.consumed);
      if (c.every_prefix_fails) {
        EXPECT_FALSE(ok) << c.name << " cut at " << n;
      }
    }
  }
}

// ---- Through read_mesh: recognised by their first bytes --------------------

std::string write_temp(const std::string& name, const std::string& bytes) {
  const char* dir = std::getenv("ICP_TEST_TMP");
  const std::string path = std::string(dir ? dir : "/tmp") + "/other_readers_test_" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

TEST_F(OtherReaders, FirstBytesChooseTheReader) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"a.3ds", file_3ds(object_3ds("o", kTriangle, {Face(0, 1, 2)}))},
      {"a.viv", vivid_file(kTriangle, {Face(0, 1, 2)})},
      {"a.txt", "# exported\nv 0 0 0\nv 1 0 0\nv 0 1 0.5\nf 1 2 3\n"},
      {"b.txt", "#material 0 0 0\n#vertex 0 0 0\n#vertex 1 0 0\n#vertex 0 1 0.5\n"
                "#shape_triangle 0 0 1 2\n"},
      {"c.txt", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0.5\n3 0 1 2\n"},
      {"d.txt", "3\n0 0 0\n1 0 0\n0 1 0.5\n1\n0 1 2\n"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<TriMesh> m(TriMesh::read_mesh(write_temp(c.name, c.bytes)));
    ASSERT_TRUE(m) << c.name << g_errors;
    EXPECT_EQ(m->vertices, kTriangle) << c.name;
    EXPECT_EQ(m->faces, (std::vector<Face>{Face(0, 1, 2)})) << c.name;
  }
}

// An index past the vertices fails the read with the face and vertex named,
// whichever reader produced it.
TEST_F(OtherReaders, IndicesOutsideTheVerticesFailTheRead) {
  const std::string cases[] = {
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 9\n",
      "3\n0 0 0\n1 0 0\n0 1 0\n2\n0 1 2\n0 1 9\n",
      "OFF\n3 2 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n3 0 1 -7\n",
      vivid_file(kTriangle, {Face(0, 1, 2), Face(0, 1, 70000)}),
  };
  for (const std::string& bytes : cases) {
    g_errors.clear();
    const std::string path = write_temp("range", bytes);
    EXPECT_FALSE(TriMesh::read_mesh(path)) << bytes;
    EXPECT_NE(g_errors.find("Face 1 uses vertex"), std::string::npos) << g_errors;
    EXPECT_NE(g_errors.find("Error reading file [" + path + "]."), std::string::npos) << g_errors;
  }
}

}  // namespace
