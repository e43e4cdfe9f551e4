#include <cstdio>
#include <memory>

#include "mesh/TriMesh.h"
#include "tools/args.h"
#include "tools/commands.h"

namespace {

// Strips in the length-prefixed stream: each is a length followed by that many indices.
int count_strips(const std::vector<int32_t>& s) {
  int strips = 0;
  for (size_t i = 0; i < s.size(); i += 1 + static_cast<size_t>(s[i] < 0 ? 0 : s[i])) strips++;
  return strips;
}

const char* yes_no(bool b) { return b ? "yes" : "no"; }

}  // namespace

// Reads a mesh file and prints what it holds, one "name: value" per line, then
// its bounding box and sphere (exit 0); on failure the reader has said why
// (exit 1).
int cmd_info(int argc, char** argv) {
  const CommandSyntax syntax{"info", "usage: icp_tool info FILE\n", {}, {}, 1, 1};
  ParsedArgs args;
  if (!parse_args(argc, argv, syntax, args)) return 2;
  std::unique_ptr<TriMesh> mesh(TriMesh::read_mesh(args.positional[0].c_str()));
  if (!mesh) return 1;
  const size_t nv = mesh->vertices.size();
  std::printf("vertices: %zu\n", nv);
  std::printf("faces: %zu\n", mesh->faces.size());
  std::printf("strips: %d\n", count_strips(mesh->tristrips));
  if (mesh->grid.empty())
    std::printf("grid: none\n");
  else
    std::printf("grid: %d x %d\n", mesh->grid_width, mesh->grid_height);
  std::printf("colors: %s\n", yes_no(mesh->colors.size() == nv));
  std::printf("normals: %s\n", yes_no(mesh->normals.size() == nv));
  std::printf("confidences: %s\n", yes_no(mesh->confidences.size() == nv));
  mesh->need_bounding_box();
  mesh->need_bounding_sphere();
  const BoundingBox& b = mesh->bounding_box;
  std::printf("box: %g %g %g %g %g %g\n", b.min.x, b.min.y, b.min.z, b.max.x, b.max.y, b.max.z);
  const BoundingSphere& s = mesh->bounding_sphere;
  std::printf("sphere: %g %g %g %g\n", s.center.x, s.center.y, s.center.z, s.radius);
  return 0;
}
