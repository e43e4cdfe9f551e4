// Binary STL writer: an 80-byte header of spaces, the facet count, then per
// facet its unit normal, its three corners and a zero attribute word, all
// little-endian whatever the host.
#include <cstdint>

#include "mesh/diagnostics.h"
#include "mesh/file_out.h"
#include "mesh/mesh_write.h"

bool write_stl(TriMesh& mesh, std::FILE* f) {
  std::vector<Face> scratch;
  const std::vector<Face>& faces = faces_to_write(mesh, scratch);
  if (faces.empty()) {
    error_printf("No faces to write: STL holds triangles only.\n");
    return false;
  }
  const int64_t nv = static_cast<int64_t>(mesh.vertices.size());
  for (size_t i = 0; i < faces.size(); i++) {
    for (int j = 0; j < 3; j++) {
      if (faces[i][j] < 0 || faces[i][j] >= nv) {
        error_printf("Face %lu refers to vertex %d, which does not exist.\n",
                     static_cast<unsigned long>(i), faces[i][j]);
        return false;
      }
    }
  }

  BinaryOut out(f, true);
  for (int i = 0; i < 80; i++) out.u8(' ');
  out.u32(static_cast<uint32_t>(faces.size()));
  for (size_t i = 0; i < faces.size(); i++) {
    const Face& face = faces[i];
    point normal =
        trinorm(mesh.vertices[face[0]], mesh.vertices[face[1]], mesh.vertices[face[2]]);
    normalize(normal);
    out.f32(normal.x);
    out.f32(normal.y);
    out.f32(normal.z);
    for (int j = 0; j < 3; j++) {
      const point& p = mesh.vertices[face[j]];
      out.f32(p.x);
      out.f32(p.y);
      out.f32(p.z);
    }
    out.u16(0);
  }
  return out.finish();
}
