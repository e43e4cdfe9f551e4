// Readers of the non-PLY formats, fed the stream as the dispatcher leaves it:
// what each reads, and how each fails on counts beyond its data. Their
// truncations are covered with every other format's in read_mesh_test.
#include <gtest/gtest.h>

#include <unistd.h>

#include "mesh/ply_test_util.h"

using ply_test::Bytes;
using test_meshes::CapturedText;
using ply_test::chunk;
using ply_test::file_3ds;
using ply_test::object_3ds;
using ply_test::stl_file;
using ply_test::vivid_file;
using Reader = bool (*)(TriMesh&, std::FILE*);

namespace {

// Runs `reader` on `bytes` after the first `consumed` (taken by the
// dispatcher), from a regular file, or from a pipe whose length the reader
// cannot know in advance.
bool run(Reader reader, const std::string& bytes, TriMesh& mesh, size_t consumed = 0,
         bool piped = false) {
  std::FILE* f = nullptr;
  if (piped) {
    int fds[2];
    // Small inputs fit in the pipe's buffer, so one write before reading is safe.
    if (pipe(fds) != 0) return false;
    const bool written = write(fds[1], bytes.data() + consumed, bytes.size() - consumed) ==
                         static_cast<ssize_t>(bytes.size() - consumed);
    close(fds[1]);
    f = fdopen(fds[0], "rb");
    if (!written && f) std::fclose(f);
    if (!written) return false;
  } else {
    f = std::tmpfile();
    if (f) std::fwrite(bytes.data(), 1, bytes.size(), f);
    if (f) std::fseek(f, static_cast<long>(consumed), SEEK_SET);
  }
  if (!f) return false;
  const bool ok = reader(mesh, f);
  std::fclose(f);
  return ok;
}

const std::vector<point> kTriangle = {point(0, 0, 0), point(1, 0, 0), point(0, 1, 0.5f)};

}  // namespace

TEST(OtherReaders, ObjIndexFormsAllNameTheSameVertices) {
  const std::string verts = "v 0 0 0\nv 1 0 0\nv 0 1 0.5\n";
  for (const char* face_line : {"f 1 2 3\n", "f 1/1/1 2/2/2 3/3/3\n", "f 1//1 2//2 3//3\n",
                                "f -3 -2 -1\n", "f\t1 2 3 # comment tokens end the list\n",
                                "t 1/4 2/5 3/6\r\n"}) {
    TriMesh m;
    ASSERT_TRUE(run(read_obj, verts + face_line, m)) << face_line;
    EXPECT_EQ(m.vertices, kTriangle) << face_line;
    EXPECT_EQ(m.faces, std::vector<Face>{Face(0, 1, 2)}) << face_line;
  }
  // Negative indices count back from the vertices read so far, not the total;
  // normals and other records come along or are skipped.
  TriMesh m;
  ASSERT_TRUE(run(read_obj, verts + "vn 0 0 1\nvt 1 1\nusemtl r\nf -3 -2 -1\nv 5 5 5\nf -3 -2 -1\n", m));
  EXPECT_EQ(m.faces, (std::vector<Face>{Face(0, 1, 2), Face(1, 2, 3)}));
  EXPECT_EQ(m.normals, std::vector<point>{point(0, 0, 1)});

  CapturedText c;
  TriMesh bad;
  EXPECT_FALSE(run(read_obj, "v 1 2 3\nv 1 2\n", bad));
  EXPECT_TRUE(c.has("Couldn't read vertex on line 2.\n"));
}

TEST(OtherReaders, BinaryFormatsFromFilesAndPipes) {
  const std::vector<point> second = {point(5, 5, 5), point(6, 5, 5), point(5, 6, 5),
                                     point(6, 6, 5)};
  const std::vector<std::vector<point>> facets = {kTriangle, second};
  // Each STL facet brings its own vertices; 3DS objects index their own.
  for (bool piped : {false, true}) {
    TriMesh stl;
    ASSERT_TRUE(run(read_stl, stl_file({kTriangle, {second[0], second[1], second[2]}}), stl, 0,
                    piped));
    EXPECT_EQ(stl.faces, (std::vector<Face>{Face(0, 1, 2), Face(3, 4, 5)}));
    EXPECT_EQ(stl.vertices[4], second[1]);
    EXPECT_TRUE(stl.normals.empty());  // recomputed on demand, not read

    TriMesh tds;
    ASSERT_TRUE(run(read_3ds,
                    file_3ds(object_3ds(kTriangle, {Face(0, 1, 2)}) +
                             object_3ds(second, {Face(0, 1, 3), Face(0, 3, 2)})),
                    tds, 0, piped));
    ASSERT_EQ(tds.vertices.size(), 7u);
    EXPECT_EQ(tds.vertices[6], second[3]);
    EXPECT_EQ(tds.faces, (std::vector<Face>{Face(0, 1, 2), Face(3, 4, 6), Face(3, 6, 5)}));

    TriMesh viv;
    ASSERT_TRUE(run(read_vivid, vivid_file(kTriangle, {Face(2, 1, 0)}), viv, 5, piped));
    EXPECT_EQ(viv.vertices, kTriangle);
    EXPECT_EQ(viv.faces, std::vector<Face>{Face(2, 1, 0)});
  }
  CapturedText c;
  TriMesh bad;
  EXPECT_FALSE(run(read_3ds, file_3ds(object_3ds(kTriangle, {Face(0, 1, 3)})), bad));
  EXPECT_TRUE(c.has("Face 0 refers to vertex 3 of an object with 3 vertices.\n"));
}

TEST(OtherReaders, TextFormatsKeepOnlyWhatTheyDescribe) {
  // A ray file that is written by hand rather than by our writer.
  TriMesh bad_ray;
  EXPECT_FALSE(run(read_ray, "#vertex 1 2\n#vertex 1 2 3\n", bad_ray));

  // OFF (after "OFF"): comments before the counts, a colour after a face's indices.
  TriMesh off;
  ASSERT_TRUE(run(read_off, "OFF\n# by hand\n4 2\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2 255 0 0\n"
                            "4 0 1 2 3\n",
                  off, 3));
  EXPECT_EQ(off.faces, (std::vector<Face>{Face(0, 1, 2), Face(1, 2, 3), Face(1, 3, 0)}));

  // SM without a face count is a point set.
  TriMesh points;
  ASSERT_TRUE(run(read_sm, "3\n0 0 0\n1 0 0\n0 1 0.5\n", points));
  EXPECT_EQ(points.vertices, kTriangle);
  EXPECT_TRUE(points.faces.empty());
}

// Counts far beyond what the file holds fail at once, before any allocation
// sized by them: from a regular file by its size, from a pipe at its end.
TEST(OtherReaders, CountsBeyondTheDataFailQuickly) {
  CapturedText c;
  const std::string stl = Bytes().text(std::string(80, ' ')).i32(-1).str();
  TriMesh m1;
  EXPECT_FALSE(run(read_stl, stl, m1));
  EXPECT_TRUE(c.has("more than the rest of the file can hold"));
  TriMesh m2;
  EXPECT_FALSE(run(read_stl, stl + std::string(49, '\0'), m2, 0, true));
  EXPECT_LE(m2.vertices.capacity(), 1u << 20);

  const std::string vivid = Bytes(true).text("VIVID" + std::string(127, '\0')).i32(0x7FFFFFFF).str();
  TriMesh m3;
  EXPECT_FALSE(run(read_vivid, vivid, m3, 5));
  TriMesh m4;
  EXPECT_FALSE(run(read_vivid, vivid_file(kTriangle, {}).substr(0, 132 + 4 + 72) + "\x7f\xff\xff\xff",
                   m4, 5));

  // An unknown chunk that claims nearly 4 GiB.
  const std::string huge = chunk(0x4D4D, Bytes().u16(0xB000).i32(-16).text("tail").str());
  TriMesh m5;
  EXPECT_FALSE(run(read_3ds, huge, m5));
  EXPECT_TRUE(c.has("Chunk 0xB000 runs past the end of the file.\n"));
  TriMesh m6;
  EXPECT_FALSE(run(read_3ds, huge, m6, 0, true));
}

// Through read_mesh, an index past the vertices fails the read with the
// face and vertex named, whichever reader produced it.
TEST(OtherReaders, IndicesPastTheVerticesAreNamed) {
  const std::string out_of_range[] = {
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 9\n",
      "3\n0 0 0\n1 0 0\n0 1 0\n2\n0 1 2\n0 1 9\n",
      "OFF\n3 2 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n3 0 1 -7\n",
      vivid_file(kTriangle, {Face(0, 1, 2), Face(0, 1, 70000)}),
  };
  for (const std::string& bytes : out_of_range) {
    CapturedText c;
    EXPECT_FALSE(ply_test::read_bytes("range", bytes)) << bytes;
    EXPECT_TRUE(c.has("Face 1 uses vertex")) << c.all();
  }
}
