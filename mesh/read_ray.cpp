// Ray-tracer scene reader: "#vertex x y z ..." records give positions and
// "#shape_triangle material a b c" records give triangles; every other
// record (camera, lights, materials, vertex normals) is skipped token by token.
#include <cstring>

#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

bool read_ray(TriMesh& mesh, std::FILE* f) {
  char token[1025];
  while (std::fscanf(f, " %1024s", token) == 1) {
    // Whole-token comparison: "#vertex_num", which precedes the vertices in
    // every such file, must not be taken for a vertex record.
    if (std::strcmp(token, "#vertex") == 0) {
      point p;
      if (!scan_float(f, p.x) || !scan_float(f, p.y) || !scan_float(f, p.z)) {
        error_printf("Couldn't read vertex %lu.\n",
                     static_cast<unsigned long>(mesh.vertices.size()));
        return false;
      }
      mesh.vertices.push_back(p);
    } else if (std::strcmp(token, "#shape_triangle") == 0) {
      int material, a, b, c;
      if (!scan_int(f, material) || !scan_int(f, a) || !scan_int(f, b) || !scan_int(f, c)) {
        error_printf("Couldn't read triangle %lu.\n",
                     static_cast<unsigned long>(mesh.faces.size()));
        return false;
      }
      mesh.faces.emplace_back(a, b, c);
    }
  }
  return !std::ferror(f);
}
