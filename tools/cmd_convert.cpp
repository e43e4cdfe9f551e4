#include <cstdio>
#include <memory>

#include "mesh/TriMesh.h"
#include "tools/args.h"
#include "tools/commands.h"

// Reads a mesh file and writes it again; the output name's ending and
// prefixes (for example asc:norm:out.ply) choose the format. Exit 0 on
// success, 1 when either side fails (the mesh library has printed why).
int cmd_convert(int argc, char** argv) {
  const CommandSyntax syntax{"convert", "usage: icp_tool convert IN OUT\n", {}, {}, 2, 2};
  ParsedArgs args;
  if (!parse_args(argc, argv, syntax, args)) return 2;
  std::unique_ptr<TriMesh> mesh(TriMesh::read_mesh(args.positional[0].c_str()));
  if (!mesh) return 1;
  return mesh->write_mesh(args.positional[1].c_str()) ? 0 : 1;
}
