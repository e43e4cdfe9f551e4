// Shared body readers of the mesh file formats (internal to the mesh layer).
//
// Every function reads forward from a C stream (never seeking backwards, so
// standard input works), appends to the mesh, and returns false on a short
// read or a failed scan. They are safe on untrusted input: no allocation is
// sized by a count from the file beyond what the input can hold (a regular
// file's remaining size is checked up front; other streams grow in bounded
// chunks), and no field is copied from outside its record.
//
// Offsets and lengths are bytes in binary bodies and white-space-delimited
// token positions in ascii bodies.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "mesh/TriMesh.h"
#include "mesh/byte_order.h"
#include "mesh/point_cloud_checks.h"
#include "mesh/stream_input.h"

// Where the fields of one vertex record lie. An offset of -1 means absent.
// y, z follow x; ny, nz follow nx; green and blue follow red, contiguously
// and of the same type. In ascii bodies every value is one token, so the
// `_double` switches make no difference there.
struct VertexLayout {
  int record_len = 0;        // bytes (binary) or tokens (ascii) per vertex
  int pos = -1;              // offset of x (required)
  bool pos_double = false;   // x, y, z are float64 (converted to float32)
  int norm = -1;             // offset of nx
  bool norm_double = false;  // nx, ny, nz are float64
  int color = -1;            // offset of red
  bool float_color = false;  // colour is three float32 in [0, 1], not three bytes
  int conf = -1;             // offset of a float32 confidence

  // Records of `record_len` units holding x, y, z first and nothing this
  // reader keeps after them.
  static VertexLayout positions_only(int record_len);
};

// Where the index list lies in one face record. The record holds the list's
// count but not its indices: `record_len` units in all, the count at `count`
// and the first index just after it at `first_index`. Without a count
// (count = -1) every face has exactly three indices from `first_index` on.
struct FaceLayout {
  int record_len = 0;          // bytes (binary) or tokens (ascii) per face, indices excluded
  int count = -1;              // offset of the index count; -1: three indices, no count
  int first_index = -1;        // offset of the first index (required)
  bool line_per_face = false;  // ascii: the rest of each face's line is discarded
};

// The whole read of one mesh from an open stream, as read_into does after
// opening the file: recognises the format from `filename` and the first
// bytes, runs its reader, then remaps an offset index range, checks every
// face, strip and grid index against the vertex range, and drops vertices
// with a NaN or infinite coordinate (and the faces using them). Prints
// "Error reading file [message_name]." and returns false on any failure,
// including a file that yields no vertices. Does not close the stream.
bool read_mesh_stream(TriMesh& mesh, std::FILE* f, const std::string& filename,
                      const std::string& message_name);

// PLY: the header and body after the dispatcher consumed "p" and "ly".
bool read_ply_header_and_body(TriMesh& mesh, std::FILE* f);

// PLY range grid body (mesh/ply_connectivity.cpp): `ngrid` cells, each an
// index count (one unsigned byte, or one ascii token) and that many int32
// indices, of which the last is kept (-1 for none). Fails on a short read,
// a count the input cannot hold, or an index outside -1 .. vertices - 1; a
// cell whose vertex has a NaN or infinite coordinate becomes empty.
bool read_ply_grid(TriMesh& mesh, std::FILE* f, bool binary, bool need_swap, int ngrid);
// PLY triangle strips body: an int32 entry count, then the entries, strips
// in terminated form (each followed by -1), appended to mesh.tristrips. The
// stream must end with -1 and every entry lie in -1 .. vertices - 1; strips
// of fewer than 3 indices are dropped.
bool read_ply_strips(TriMesh& mesh, std::FILE* f, bool binary, bool need_swap);

// Appends `nverts` binary vertex records. Fails unless nverts >= 1, the record
// is at least 12 bytes, x is present and every field lies inside the record.
// The first vertex decides the byte order: when its coordinates are not all
// plausible (strictly within +-1e10) in the declared order but are in the
// other one, "Compensating for bogus endianness..." is printed and `need_swap`
// is inverted for the caller's later reads. A first vertex with a NaN or
// infinite coordinate in the declared order says nothing about the order and
// leaves `need_swap` alone. Records of exactly 12 bytes (float x, y, z only)
// are read as one block.
bool read_verts_binary(TriMesh& mesh, std::FILE* f, bool& need_swap, int nverts,
                       const VertexLayout& layout);
// Appends `nverts` ascii vertex records (one token per value). Fails unless
// nverts >= 1, the record has at least 3 tokens and x is present, and on any
// value that does not scan (a position, normal, colour or confidence; an
// unused token missing at end of file). A byte colour must follow a single
// space; after any other character the colour is white and that character is
// lost (files rely on this).
bool read_verts_ascii(TriMesh& mesh, std::FILE* f, int nverts, const VertexLayout& layout);

// Appends `nfaces` binary face records: first_index bytes up to and
// including the index count (its width is first_index - count: 4 gives int32,
// 2 gives uint16, anything else one unsigned byte), the int32 indices, then
// record_len - first_index further bytes. Each polygon goes through
// add_polygon. Fails if nfaces < 0, first_index < 0, on a short read or on a
// negative index count.
bool read_faces_binary(TriMesh& mesh, std::FILE* f, bool need_swap, int nfaces,
                       const FaceLayout& layout);
// Ascii faces: the count token (3 indices when there is none), the index
// tokens from first_index on, every other token of the record skipped.
// Prints "Couldn't read vertex index %d for face %d\n" or
// "Couldn't read vertex count for face %d\n" on a failed scan.
bool read_faces_ascii(TriMesh& mesh, std::FILE* f, int nfaces, const FaceLayout& layout);

// Appends the triangles of one polygon to `faces`: nothing for fewer than 3
// indices; a quad is split along its shorter diagonal (the 1-3 diagonal on a
// tie, and also when a corner is not yet a vertex, as happens before an
// offset index range is remapped); larger polygons become a fan from the
// first index.
void add_polygon(TriMesh& mesh, const int* indices, int count);
void add_polygon(TriMesh& mesh, const std::vector<int>& indices);

// Readers of the other formats (positioned as the dispatcher leaves the stream).
// Each appends positions and triangles (OBJ also normals) and returns false on
// a short read or a value that does not scan; index bounds are checked by
// read_into afterwards, except where noted.
// "#vertex x y z" and "#shape_triangle m a b c" records (whole tokens); the rest is skipped.
bool read_ray(TriMesh& mesh, std::FILE* f);
// "v", "vn", "f"/"t" lines; a polygon's indices are 1-based or negative
// (counted back from the vertices read so far); the part after "/" is ignored.
bool read_obj(TriMesh& mesh, std::FILE* f);
// After "OFF": a counts line, positions, then counted polygons one per line.
bool read_off(TriMesh& mesh, std::FILE* f);
// Vertex count, positions, then optionally a face count and triangles.
bool read_sm(TriMesh& mesh, std::FILE* f);
// Binary STL; every facet appends its own three vertices and one face.
bool read_stl(TriMesh& mesh, std::FILE* f);
// Chunked 3DS: every triangle-mesh object's vertices and faces. A face index
// past its object's vertices, or a file ending inside a chunk, fails.
bool read_3ds(TriMesh& mesh, std::FILE* f);
// After the "VIVID" magic: big-endian float64 positions and counted faces.
bool read_vivid(TriMesh& mesh, std::FILE* f);
// A point-cloud file (known by its name's extension) from its first byte:
// checked whole, then read by the library (mesh/point_cloud_library.h).
// Points keep their colours (bytes as PLY's are) and the file's normals; a
// PCD of more than one row is triangulated as a PLY range grid. NaN points
// (a depth camera's missing samples) stay, to be dropped by read_into with
// every other non-finite vertex.
bool read_point_cloud(TriMesh& mesh, std::FILE* f, PointCloudFormat format);
