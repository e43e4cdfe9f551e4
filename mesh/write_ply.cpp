// PLY writer: ascii, binary little-endian and binary big-endian, with the
// connectivity the mesh holds (range grid, triangle strips or faces).
#include <vector>

#include "mesh/diagnostics.h"
#include "mesh/file_out.h"
#include "mesh/mesh_write.h"

namespace {

enum class Connectivity { NONE, GRID, STRIPS, FACES };

// What goes into the file, decided once so that header and body agree.
struct PlyLayout {
  bool ascii = false;
  bool little_endian = true;
  bool float_color = false;
  bool normals = false;
  bool colors = false;
  bool confidences = false;
  Connectivity connectivity = Connectivity::NONE;
};

// The strip stream in terminated form (each strip's indices, then -1), built
// from a copy so the mesh keeps its length-prefixed stream. A stream already
// ending in -1 is taken as terminated. Lengths running past the end of a
// damaged stream are cut at the end.
std::vector<int32_t> terminated_strips(const std::vector<int32_t>& strips) {
  if (strips.empty() || strips.back() == -1) return strips;
  std::vector<int32_t> out;
  out.reserve(strips.size());
  size_t pos = 0;
  while (pos < strips.size()) {
    const size_t available = strips.size() - pos - 1;
    const size_t len = strips[pos] > 0 ? static_cast<size_t>(strips[pos]) : 0;
    const size_t n = len < available ? len : available;
    out.insert(out.end(), strips.begin() + pos + 1, strips.begin() + pos + 1 + n);
    out.push_back(-1);
    pos += n + 1;
  }
  return out;
}

void write_header(const TriMesh& mesh, const std::vector<Face>& faces, TextOut& out,
                  const PlyLayout& layout) {
  out.print("ply\nformat %s 1.0\n", layout.ascii           ? "ascii"
                                    : layout.little_endian ? "binary_little_endian"
                                                           : "binary_big_endian");
  if (layout.connectivity == Connectivity::GRID) {
    out.print("obj_info num_cols %d\n", mesh.grid_width);
    out.print("obj_info num_rows %d\n", mesh.grid_height);
  }
  out.print("element vertex %lu\n", static_cast<unsigned long>(mesh.vertices.size()));
  out.print("property float x\nproperty float y\nproperty float z\n");
  if (layout.normals) out.print("property float nx\nproperty float ny\nproperty float nz\n");
  if (layout.colors) {
    const char* type = layout.float_color ? "float" : "uchar";
    out.print("property %s diffuse_red\nproperty %s diffuse_green\nproperty %s diffuse_blue\n",
              type, type, type);
  }
  if (layout.confidences) out.print("property float confidence\n");
  switch (layout.connectivity) {
    case Connectivity::GRID:
      out.print("element range_grid %d\n", mesh.grid_width * mesh.grid_height);
      out.print("property list uchar int vertex_indices\n");
      break;
    case Connectivity::STRIPS:
      out.print("element tristrips 1\n");
      out.print("property list int int vertex_indices\n");
      break;
    case Connectivity::FACES:
      out.print("element face %lu\n", static_cast<unsigned long>(faces.size()));
      out.print("property list uchar int vertex_indices\n");
      break;
    case Connectivity::NONE:
      break;
  }
  out.print("end_header\n");
}

void write_ascii_body(const TriMesh& mesh, const std::vector<Face>& faces, TextOut& out,
                      const PlyLayout& layout) {
  for (size_t i = 0; i < mesh.vertices.size() && out.ok(); i++) {
    const point& p = mesh.vertices[i];
    out.print("%.7g %.7g %.7g", p.x, p.y, p.z);
    if (layout.normals) {
      const point& n = mesh.normals[i];
      out.print(" %.7g %.7g %.7g", n.x, n.y, n.z);
    }
    if (layout.colors) {
      const Color& c = mesh.colors[i];
      if (layout.float_color)
        out.print(" %.7g %.7g %.7g", c.r, c.g, c.b);
      else
        out.print(" %d %d %d", color_to_byte(c.r), color_to_byte(c.g), color_to_byte(c.b));
    }
    if (layout.confidences) out.print(" %.7g", mesh.confidences[i]);
    out.print("\n");
  }
  switch (layout.connectivity) {
    case Connectivity::GRID:
      for (size_t i = 0; i < mesh.grid.size() && out.ok(); i++) {
        if (mesh.grid[i] < 0)
          out.print("0\n");
        else
          out.print("1 %d\n", mesh.grid[i]);
      }
      break;
    case Connectivity::STRIPS: {
      const std::vector<int32_t> strips = terminated_strips(mesh.tristrips);
      out.print("%lu ", static_cast<unsigned long>(strips.size()));
      for (size_t i = 0; i < strips.size() && out.ok(); i++) out.print("%d ", strips[i]);
      out.print("\n");
      break;
    }
    case Connectivity::FACES:
      for (size_t i = 0; i < faces.size() && out.ok(); i++) {
        const Face& f = faces[i];
        out.print("3 %d %d %d\n", f[0], f[1], f[2]);
      }
      break;
    case Connectivity::NONE:
      break;
  }
}

bool write_binary_body(const TriMesh& mesh, const std::vector<Face>& faces, std::FILE* f,
                       const PlyLayout& layout) {
  BinaryOut out(f, layout.little_endian);
  for (size_t i = 0; i < mesh.vertices.size(); i++) {
    const point& p = mesh.vertices[i];
    out.f32(p.x);
    out.f32(p.y);
    out.f32(p.z);
    if (layout.normals) {
      const point& n = mesh.normals[i];
      out.f32(n.x);
      out.f32(n.y);
      out.f32(n.z);
    }
    if (layout.colors) {
      const Color& c = mesh.colors[i];
      if (layout.float_color) {
        out.f32(c.r);
        out.f32(c.g);
        out.f32(c.b);
      } else {
        out.u8(color_to_byte(c.r));
        out.u8(color_to_byte(c.g));
        out.u8(color_to_byte(c.b));
      }
    }
    if (layout.confidences) out.f32(mesh.confidences[i]);
  }
  switch (layout.connectivity) {
    case Connectivity::GRID:
      for (int32_t cell : mesh.grid) {
        if (cell < 0) {
          out.u8(0);
        } else {
          out.u8(1);
          out.i32(cell);
        }
      }
      break;
    case Connectivity::STRIPS: {
      const std::vector<int32_t> strips = terminated_strips(mesh.tristrips);
      out.i32(static_cast<int32_t>(strips.size()));
      for (int32_t s : strips) out.i32(s);
      break;
    }
    case Connectivity::FACES:
      for (const Face& face : faces) {
        out.u8(3);
        out.i32(face[0]);
        out.i32(face[1]);
        out.i32(face[2]);
      }
      break;
    case Connectivity::NONE:
      break;
  }
  return out.finish();
}

}  // namespace

bool write_ply(TriMesh& mesh, std::FILE* f, const WriteOptions& options) {
  if (options.write_norm) mesh.need_normals();
  const size_t nv = mesh.vertices.size();

  std::vector<Face> scratch;
  const std::vector<Face>* faces = &scratch;
  PlyLayout layout;
  layout.ascii = options.format == MeshFormat::PLY_ASCII;
  layout.little_endian = options.format != MeshFormat::PLY_BINARY_BE;
  layout.float_color = options.float_color;
  layout.normals = options.write_norm && mesh.normals.size() == nv;
  layout.colors = mesh.colors.size() == nv;
  layout.confidences = mesh.confidences.size() == nv;
  if (options.write_grid) {
    // A grid whose cell count disagrees with its size would give a file that
    // no reader accepts.
    if (mesh.grid_width < 0 || mesh.grid_height < 0 ||
        static_cast<size_t>(mesh.grid_width) * static_cast<size_t>(mesh.grid_height) !=
            mesh.grid.size()) {
      error_printf("Range grid size does not equal num_rows*num_cols.\n");
      return false;
    }
    layout.connectivity = Connectivity::GRID;
  } else if (!mesh.tristrips.empty()) {
    layout.connectivity = Connectivity::STRIPS;
  } else {
    faces = &faces_to_write(mesh, scratch);
    if (!faces->empty()) layout.connectivity = Connectivity::FACES;
  }

  TextOut header(f);
  write_header(mesh, *faces, header, layout);
  if (!header.ok()) return false;
  if (layout.ascii) {
    TextOut body(f);
    write_ascii_body(mesh, *faces, body, layout);
    return body.ok();
  }
  return write_binary_body(mesh, *faces, f, layout);
}
