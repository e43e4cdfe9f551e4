// Helpers of the mesh reader and writer tests: byte builders for small files
// and temp files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "mesh/TriMesh.h"
#include "mesh/derived_meshes.h"
#include "mesh/mesh_io.h"

namespace ply_test {

// Appends text and binary values in a chosen byte order.
class Bytes {
 public:
  explicit Bytes(bool big_endian = false) : big_(big_endian) {}
  Bytes& text(const std::string& s) {
    data_ += s;
    return *this;
  }
  Bytes& u8(int v) {
    data_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& i32(int32_t v) { return raw(&v, 4); }
  Bytes& u16(uint16_t v) { return raw(&v, 2); }
  Bytes& f32(float v) { return raw(&v, 4); }
  Bytes& f64(double v) { return raw(&v, 8); }
  Bytes& xyz(float x, float y, float z) { return f32(x).f32(y).f32(z); }
  const std::string& str() const { return data_; }

 private:
  Bytes& raw(const void* p, int n) {
    const char* c = static_cast<const char*>(p);
    for (int i = 0; i < n; i++) data_.push_back(c[big_ ? n - 1 - i : i]);
    return *this;
  }
  bool big_;
  std::string data_;
};

inline std::string stl_file(const std::vector<std::vector<point>>& facets) {
  Bytes b;
  b.text(std::string(80, 'x')).i32(static_cast<int32_t>(facets.size()));
  for (const auto& corners : facets) {
    b.xyz(9, 9, 9);  // a wrong normal: it is ignored
    for (const point& p : corners) b.xyz(p.x, p.y, p.z);
    b.u16(0);
  }
  return b.str();
}

inline std::string chunk(uint16_t id, const std::string& body) {
  return Bytes().u16(id).i32(static_cast<int32_t>(6 + body.size())).text(body).str();
}

// One 3DS object: a triangle mesh with the given vertices and faces, and a
// material sub-chunk after the faces (skipped by the reader).
inline std::string object_3ds(const std::vector<point>& verts, const std::vector<Face>& faces) {
  Bytes vlist;
  vlist.u16(static_cast<uint16_t>(verts.size()));
  for (const point& p : verts) vlist.xyz(p.x, p.y, p.z);
  Bytes flist;
  flist.u16(static_cast<uint16_t>(faces.size()));
  for (const Face& f : faces) flist.u16(f[0]).u16(f[1]).u16(f[2]).u16(7);  // 7: edge flags
  flist.text(chunk(0x4130, std::string("mat\0\x01\x00\x00\x00", 8)));
  const std::string mesh = chunk(0x4110, vlist.str()) + chunk(0x4120, flist.str());
  return chunk(0x4000, std::string("obj") + '\0' + chunk(0x4100, mesh));
}

// A version chunk before the editor and a keyframer chunk after it are skipped.
inline std::string file_3ds(const std::string& objects) {
  return chunk(0x4D4D, chunk(0x0002, Bytes().i32(3).str()) + chunk(0x3D3D, objects) +
                           chunk(0xB000, std::string(10, '\0')));
}

inline std::string vivid_file(const std::vector<point>& verts, const std::vector<Face>& faces) {
  Bytes b(true);
  b.text("VIVID" + std::string(127, '\0')).i32(static_cast<int32_t>(verts.size()));
  for (const point& p : verts) b.f64(p.x).f64(p.y).f64(p.z);
  b.i32(static_cast<int32_t>(faces.size()));
  for (const Face& f : faces) b.i32(3).i32(f[0]).i32(f[1]).i32(f[2]);
  return b.str();
}

inline std::string temp_path(const std::string& name) {
  const char* dir = std::getenv("ICP_TEST_TMP");
  return std::string(dir ? dir : "/tmp") + "/mesh_test_" + name;
}

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string write_file(const std::string& name, const std::string& bytes) {
  std::string path = temp_path(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// Writes `bytes` to a temp file and reads it; null on failure.
inline std::unique_ptr<TriMesh> read_bytes(const std::string& name, const std::string& bytes) {
  return std::unique_ptr<TriMesh>(TriMesh::read_mesh(write_file(name, bytes)));
}

// Reads `bytes` from a memory stream (a stream of unknown size, and no file
// system traffic); null on failure.
inline std::unique_ptr<TriMesh> read_memory(std::string bytes, const std::string& name = "mem.ply") {
  std::unique_ptr<TriMesh> mesh(new TriMesh);
  // fmemopen cannot open an empty buffer on every libc: an empty stream is a
  // one-byte buffer opened and then read past.
  bool empty = bytes.empty();
  if (empty) bytes.push_back('\0');
  std::FILE* f = fmemopen(&bytes[0], bytes.size(), "rb");
  if (!f) return nullptr;
  if (empty) std::fgetc(f);
  bool ok = read_mesh_stream(*mesh, f, name, name);
  std::fclose(f);
  if (!ok) mesh.reset();
  return mesh;
}

}  // namespace ply_test
