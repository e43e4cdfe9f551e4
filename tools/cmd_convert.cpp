#include <cstdio>
#include <memory>

#include "mesh/TriMesh.h"
#include "tools/commands.h"

// Reads a mesh file and writes it again; the output name's ending and
// prefixes (for example asc:norm:out.ply) choose the format. Exit 0 on
// success, 1 when either side fails (the mesh library has printed why).
int cmd_convert(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: icp_tool convert IN OUT\n");
    return 2;
  }
  std::unique_ptr<TriMesh> mesh(TriMesh::read_mesh(argv[0]));
  if (!mesh) return 1;
  return mesh->write_mesh(argv[1]) ? 0 : 1;
}
