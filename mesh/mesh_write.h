// The per-format mesh writers behind TriMesh::write_mesh (internal to the
// mesh layer).
//
// Each writes one whole file to an open stream and returns false when a
// write failed (the caller prints the message). None changes the mesh's
// data, except that a writer may compute normals, or faces from strips, on
// demand (`need_normals`, `need_faces`) as its format requires.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "mesh/TriMesh.h"
#include "mesh/byte_order.h"

enum class MeshFormat {
  PLY_ASCII,
  PLY_BINARY_LE,
  PLY_BINARY_BE,
  RAY,
  OBJ,
  OFF,
  SM,
  STL,
  SOURCE,
};

// Binary PLY in the host's byte order: the format a name that asks for none
// gets, and what "ply:" asks for.
inline MeshFormat host_binary_ply() {
  return host_is_little_endian() ? MeshFormat::PLY_BINARY_LE : MeshFormat::PLY_BINARY_BE;
}

// What a file name asks for.
struct WriteOptions {
  MeshFormat format = host_binary_ply();
  bool write_norm = false;   // "norm:"
  bool write_grid = true;    // "nogrid:" clears it
  bool float_color = false;  // "cflt:"
  bool format_named = false; // the ending or a prefix named a format
};

// Sets `options` from the name's ending (".ply", ".ray", ".obj", ".off",
// ".sm", ".stl", ".cc", ".c++", ".cpp", ".C", letters in either case) and
// then from the prefixes at its front ("norm:", "nogrid:", "cflt:", "asc:",
// "be:", "obj:", ...), which win over the ending. Returns the name with the
// prefixes stripped.
// `write_grid` is set only by "nogrid:"; the caller clears it when the mesh
// has no grid.
std::string parse_write_name(const std::string& filename, WriteOptions& options);

// The triangles a writer writes: the mesh's faces, else those of its strips
// (computed on the mesh by need_faces), else those of its range grid. A grid
// is triangulated on a copy held in `scratch`, because triangulating in place
// ends by discarding the grid, and writing a file must not cost the mesh its
// grid. Empty for a point set.
const std::vector<Face>& faces_to_write(TriMesh& mesh, std::vector<Face>& scratch);

bool write_ply(TriMesh& mesh, std::FILE* f, const WriteOptions& options);
bool write_ray(TriMesh& mesh, std::FILE* f);
bool write_obj(TriMesh& mesh, std::FILE* f, const WriteOptions& options);
bool write_off(TriMesh& mesh, std::FILE* f);
bool write_sm(TriMesh& mesh, std::FILE* f);
// Fails with a message when a face refers to a missing vertex (its normal
// could not be computed).
bool write_stl(TriMesh& mesh, std::FILE* f);
// `name` is the file name after prefix stripping; the function it writes is
// called make_ followed by the name's last path component cut at its last
// ".", with every character that cannot appear in an identifier made "_".
bool write_source(TriMesh& mesh, std::FILE* f, const std::string& name,
                  const WriteOptions& options);
