// Binary STL writer: an 80-byte header of spaces, the facet count, then per
// facet its unit normal, its three corners and a zero attribute word, all
// little-endian whatever the host.
#include <cstdint>

#include "mesh/diagnostics.h"
#include "mesh/file_out.h"
#include "mesh/mesh_write.h"

bool write_stl(TriMesh& mesh, std::FILE* f) {
  mesh.need_faces();
  const int64_t nv = static_cast<int64_t>(mesh.vertices.size());
  for (size_t i = 0; i < mesh.faces.size(); i++) {
    for (int j = 0; j < 3; j++) {
      if (mesh.faces[i][j] < 0 || mesh.faces[i][j] >= nv) {
        error_printf("Face %lu refers to vertex %d, which does not exist.\n",
                     static_cast<unsigned long>(i), mesh.faces[i][j]);
        return false;
      }
    }
  }

  BinaryOut out(f, true);
  for (int i = 0; i < 80; i++) out.u8(' ');
  out.u32(static_cast<uint32_t>(mesh.faces.size()));
  for (size_t i = 0; i < mesh.faces.size(); i++) {
    point normal = mesh.trinorm(static_cast<int>(i));
    normalize(normal);
    out.f32(normal.x);
    out.f32(normal.y);
    out.f32(normal.z);
    for (int j = 0; j < 3; j++) {
      const point& p = mesh.vertices[mesh.faces[i][j]];
      out.f32(p.x);
      out.f32(p.y);
      out.f32(p.z);
    }
    out.u16(0);
  }
  return out.finish();
}
