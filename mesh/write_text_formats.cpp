// Writers of the plain-text formats: ray, OBJ, OFF and SM.
#include "mesh/diagnostics.h"
#include "mesh/file_out.h"
#include "mesh/mesh_write.h"

namespace {

unsigned long count(size_t n) { return static_cast<unsigned long>(n); }

void print_point(TextOut& out, const point& p) { out.print("%.7g %.7g %.7g", p.x, p.y, p.z); }

}  // namespace

bool write_ray(TriMesh& mesh, std::FILE* f) {
  TextOut out(f);
  out.print("#camera 0 0 1 0 0 -1 0 1 0 0.2\n");
  out.print("#background 0 0 0\n");
  out.print("#ambient 0 0 0\n");
  out.print("#material_num 1\n");
  out.print("#material 0 0 0  1 1 1  0 0 0  0 0 0  0 0 1  -1  !!\n");
  out.print("#vertex_num %lu\n", count(mesh.vertices.size()));
  mesh.need_normals();
  if (mesh.normals.size() != mesh.vertices.size()) {
    error_printf("Couldn't compute normals.\n");
    return false;
  }
  for (size_t i = 0; i < mesh.vertices.size() && out.ok(); i++) {
    out.print("#vertex ");
    print_point(out, mesh.vertices[i]);
    out.print("  ");
    print_point(out, mesh.normals[i]);
    out.print("  0 0\n");
  }
  std::vector<Face> scratch;
  const std::vector<Face>& faces = faces_to_write(mesh, scratch);
  for (size_t i = 0; i < faces.size() && out.ok(); i++) {
    const Face& face = faces[i];
    out.print("#shape_triangle 0  %d %d %d\n", face[0], face[1], face[2]);
  }
  return out.ok();
}

// Indices go out 1-based; the offset is added while printing, so the mesh's
// faces are never touched.
bool write_obj(TriMesh& mesh, std::FILE* f, const WriteOptions& options) {
  TextOut out(f);
  out.print("# OBJ\n");
  if (options.write_norm) mesh.need_normals();
  const bool normals = options.write_norm && mesh.normals.size() == mesh.vertices.size();
  for (size_t i = 0; i < mesh.vertices.size() && out.ok(); i++) {
    out.print("v ");
    print_point(out, mesh.vertices[i]);
    if (normals) {
      out.print("\nvn ");
      print_point(out, mesh.normals[i]);
    }
    out.print("\n");
  }
  std::vector<Face> scratch;
  const std::vector<Face>& faces = faces_to_write(mesh, scratch);
  for (size_t i = 0; i < faces.size() && out.ok(); i++) {
    const int64_t a = faces[i][0] + int64_t{1};
    const int64_t b = faces[i][1] + int64_t{1};
    const int64_t c = faces[i][2] + int64_t{1};
    if (normals)
      out.print("f %lld//%lld %lld//%lld %lld//%lld\n", static_cast<long long>(a),
                static_cast<long long>(a), static_cast<long long>(b), static_cast<long long>(b),
                static_cast<long long>(c), static_cast<long long>(c));
    else
      out.print("f %lld %lld %lld\n", static_cast<long long>(a), static_cast<long long>(b),
                static_cast<long long>(c));
  }
  return out.ok();
}

bool write_off(TriMesh& mesh, std::FILE* f) {
  std::vector<Face> scratch;
  const std::vector<Face>& faces = faces_to_write(mesh, scratch);
  TextOut out(f);
  out.print("OFF\n");
  out.print("%lu %lu 0\n", count(mesh.vertices.size()), count(faces.size()));
  for (size_t i = 0; i < mesh.vertices.size() && out.ok(); i++) {
    print_point(out, mesh.vertices[i]);
    out.print("\n");
  }
  for (size_t i = 0; i < faces.size() && out.ok(); i++) {
    const Face& face = faces[i];
    out.print("3 %d %d %d\n", face[0], face[1], face[2]);
  }
  return out.ok();
}

bool write_sm(TriMesh& mesh, std::FILE* f) {
  std::vector<Face> scratch;
  const std::vector<Face>& faces = faces_to_write(mesh, scratch);
  TextOut out(f);
  out.print("%lu\n", count(mesh.vertices.size()));
  for (size_t i = 0; i < mesh.vertices.size() && out.ok(); i++) {
    print_point(out, mesh.vertices[i]);
    out.print("\n");
  }
  out.print("%lu\n", count(faces.size()));
  for (size_t i = 0; i < faces.size() && out.ok(); i++) {
    const Face& face = faces[i];
    out.print("%d %d %d\n", face[0], face[1], face[2]);
  }
  out.print("0 0\n");
  return out.ok();
}
