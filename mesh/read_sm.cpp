// Reader of the counts-then-lists format: a vertex count, that many "x y z"
// positions, then optionally a face count and that many "a b c" triangles.
#include "mesh/mesh_io.h"

bool read_sm(TriMesh& mesh, std::FILE* f) {
  int nverts;
  if (!scan_int(f, nverts) || !read_verts_ascii(mesh, f, nverts, VertexLayout::positions_only(3)))
    return false;
  skip_comments(f);
  int nfaces;
  // No face count: the file is a point set.
  if (!scan_int(f, nfaces)) return true;
  FaceLayout triangles;  // three indices, no count
  triangles.first_index = 0;
  return read_faces_ascii(mesh, f, nfaces, triangles);
}
