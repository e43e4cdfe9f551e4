// TriMesh::write_mesh: chooses the format from the file name and hands the
// mesh to the writer of that format.
#include <cerrno>
#include <cstring>

#include "geometry/durable_write.h"
#include "geometry/file_paths.h"
#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"
#include "mesh/file_out.h"
#include "mesh/mesh_write.h"

namespace {

struct Ending {
  const char* extension;  // without the dot
  MeshFormat format;
};

struct Prefix {
  const char* prefix;
  enum { FORMAT, NORM, NOGRID, CFLT } sets;
  MeshFormat format;
};

bool write_format(TriMesh& mesh, std::FILE* f, const std::string& name,
                  const WriteOptions& options) {
  switch (options.format) {
    case MeshFormat::PLY_ASCII:
    case MeshFormat::PLY_BINARY_LE:
    case MeshFormat::PLY_BINARY_BE:
      return write_ply(mesh, f, options);
    case MeshFormat::RAY:
      return write_ray(mesh, f);
    case MeshFormat::OBJ:
      return write_obj(mesh, f, options);
    case MeshFormat::OFF:
      return write_off(mesh, f);
    case MeshFormat::SM:
      return write_sm(mesh, f);
    case MeshFormat::STL:
      return write_stl(mesh, f);
    case MeshFormat::SOURCE:
      return write_source(mesh, f, name, options);
  }
  return false;
}

}  // namespace

std::string parse_write_name(const std::string& filename, WriteOptions& options) {
  const Ending endings[] = {
      {"ply", host_binary_ply()}, {"ray", MeshFormat::RAY},    {"obj", MeshFormat::OBJ},
      {"off", MeshFormat::OFF},   {"sm", MeshFormat::SM},      {"stl", MeshFormat::STL},
      {"cc", MeshFormat::SOURCE}, {"c++", MeshFormat::SOURCE}, {"cpp", MeshFormat::SOURCE},
      {"C", MeshFormat::SOURCE},
  };
  for (const Ending& e : endings) {
    if (has_extension(filename, e.extension)) {
      options.format = e.format;
      options.format_named = true;
    }
  }

  const MeshFormat host = host_binary_ply();
  const Prefix prefixes[] = {
      {"norm:", Prefix::NORM, host},
      {"nogrid:", Prefix::NOGRID, host},
      {"cflt:", Prefix::CFLT, host},
      {"ply:", Prefix::FORMAT, host},
      {"ply_binary:", Prefix::FORMAT, host},
      {"ply_binary_be:", Prefix::FORMAT, MeshFormat::PLY_BINARY_BE},
      {"be:", Prefix::FORMAT, MeshFormat::PLY_BINARY_BE},
      {"ply_binary_le:", Prefix::FORMAT, MeshFormat::PLY_BINARY_LE},
      {"le:", Prefix::FORMAT, MeshFormat::PLY_BINARY_LE},
      {"ply_ascii:", Prefix::FORMAT, MeshFormat::PLY_ASCII},
      {"ply_asc:", Prefix::FORMAT, MeshFormat::PLY_ASCII},
      {"ascii:", Prefix::FORMAT, MeshFormat::PLY_ASCII},
      {"asc:", Prefix::FORMAT, MeshFormat::PLY_ASCII},
      {"ray:", Prefix::FORMAT, MeshFormat::RAY},
      {"obj:", Prefix::FORMAT, MeshFormat::OBJ},
      {"off:", Prefix::FORMAT, MeshFormat::OFF},
      {"sm:", Prefix::FORMAT, MeshFormat::SM},
      {"stl:", Prefix::FORMAT, MeshFormat::STL},
  };
  std::string name = filename;
  for (bool stripped = true; stripped;) {
    stripped = false;
    for (const Prefix& p : prefixes) {
      const size_t n = std::strlen(p.prefix);
      if (name.compare(0, n, p.prefix) != 0) continue;
      name.erase(0, n);
      stripped = true;
      switch (p.sets) {
        case Prefix::FORMAT:
          options.format = p.format;
          options.format_named = true;
          break;
        case Prefix::NORM: options.write_norm = true; break;
        case Prefix::NOGRID: options.write_grid = false; break;
        case Prefix::CFLT: options.float_color = true; break;
      }
    }
  }
  return name;
}

const std::vector<Face>& faces_to_write(TriMesh& mesh, std::vector<Face>& scratch) {
  if (!mesh.faces.empty() || mesh.grid.empty() || !mesh.tristrips.empty()) {
    mesh.need_faces();
    return mesh.faces;
  }
  TriMesh copy;
  copy.vertices = mesh.vertices;
  copy.grid = mesh.grid;
  copy.grid_width = mesh.grid_width;
  copy.grid_height = mesh.grid_height;
  copy.triangulate_grid();
  scratch.swap(copy.faces);
  return scratch;
}

bool TriMesh::write_mesh(const std::string& filename) {
  if (filename.empty()) {
    error_printf("Can't write to empty filename.\n");
    return false;
  }
  if (vertices.empty()) {
    error_printf("Empty mesh - nothing to write.\n");
    return false;
  }

  WriteOptions options;
  const std::string name = parse_write_name(filename, options);
  if (grid.empty()) options.write_grid = false;
  // Standard output has no ending and keeps the binary PLY default; a file
  // name must say what it holds, or its reader would be misled.
  if (!options.format_named && name != "-") {
    error_printf("Unknown file type for [%s]: the name must end in .ply, .ray, .obj, .off, .sm, "
                 ".stl, .cc, .c++, .cpp or .C, or begin with a format prefix such as ply: or "
                 "asc:.\n",
                 name.c_str());
    return false;
  }
  // STL holds only triangles: a point set would give a file of no facets
  // that no reader takes back.
  if (options.format == MeshFormat::STL && faces.empty() && tristrips.empty() && grid.empty()) {
    error_printf("No faces to write: STL holds triangles only.\n");
    return false;
  }

  // Standard output is flushed rather than closed: it belongs to the process.
  // A file is written to a temporary beside it and renamed over it once
  // whole, so a failure keeps what was there before.
  const bool to_stdout = name == "-";
  const std::string message_name = to_stdout ? "standard output" : name;
  FileReplacement out;
  std::string why;
  if (!to_stdout && (!out.begin(name, why) || (out.in_place() && !out.open_in_place(why)))) {
    error_printf("Error opening [%s] for writing: %s.\n", name.c_str(), why.c_str());
    return false;
  }
  std::FILE* f = to_stdout ? stdout : out.stream();

  progress_printf("Writing %s... ", message_name.c_str());
  bool ok = write_format(*this, f, name, options);
  if (to_stdout) {
    ok = std::fflush(f) == 0 && ok && !std::ferror(f);
    why = std::strerror(errno);
  } else {
    ok = out.finish(why) && ok && out.install(why);
    if (why.empty()) why = "a write failed";
  }
  if (!ok) {
    error_printf("Error writing file [%s]: %s.\n", message_name.c_str(), why.c_str());
    return false;
  }
  progress_printf("Done.\n");
  return true;
}
