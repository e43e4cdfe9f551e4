// Source-file writer: a C++ function that rebuilds the mesh from static
// arrays (positions, optionally normals, colours, faces).
#include <cctype>

#include "geometry/file_paths.h"
#include "mesh/file_out.h"
#include "mesh/mesh_write.h"

namespace {

// make_ plus the file's base name cut at its last ".", with every character
// that may not appear in an identifier replaced by "_", so that a name with
// directories or dashes still gives a function that compiles.
std::string function_name(const std::string& name) {
  std::string base = strip_extension(file_name_of(name));
  for (char& c : base)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') c = '_';
  return "make_" + base;
}

void print_float_rows(TextOut& out, const char* declaration, const std::vector<point>& rows) {
  out.print("%s", declaration);
  for (size_t i = 0; i < rows.size() && out.ok(); i++)
    out.print("\t\t{ %.7g, %.7g, %.7g },\n", rows[i].x, rows[i].y, rows[i].z);
  out.print("\t};\n");
}

void print_fill(TextOut& out, const char* field, size_t n, const char* data) {
  out.print("\tm->%s.resize(%d);\n", field, static_cast<int>(n));
  out.print("\tstd::memcpy(&m->%s[0][0], %s, sizeof(%s));\n", field, data, data);
}

}  // namespace

bool write_source(TriMesh& mesh, std::FILE* f, const std::string& name,
                  const WriteOptions& options) {
  std::vector<Face> scratch;
  const std::vector<Face>& faces = faces_to_write(mesh, scratch);
  if (options.write_norm) mesh.need_normals();
  const size_t nv = mesh.vertices.size();
  const bool normals = options.write_norm && mesh.normals.size() == nv;
  const bool colors = mesh.colors.size() == nv;
  // A zero-length array does not compile, so a mesh without faces gets no
  // face array at all.
  const bool has_faces = !faces.empty();

  TextOut out(f);
  out.print("#include <cstring>\n");
  out.print("#include \"TriMesh.h\"\n\n");
  out.print("TriMesh *%s()\n{", function_name(name).c_str());

  print_float_rows(out, "\tstatic const float vertdata[][3] = {\n", mesh.vertices);
  if (normals) print_float_rows(out, "\tstatic const float normdata[][3] = {\n", mesh.normals);
  if (colors && options.float_color) {
    out.print("\tstatic const float colordata[][3] = {\n");
    for (size_t i = 0; i < nv && out.ok(); i++) {
      const Color& c = mesh.colors[i];
      out.print("\t\t{ %.7g, %.7g, %.7g },\n", c.r, c.g, c.b);
    }
    out.print("\t};\n");
  } else if (colors) {
    out.print("\tstatic const unsigned char colordata[][3] = {\n");
    for (size_t i = 0; i < nv && out.ok(); i++) {
      const Color& c = mesh.colors[i];
      out.print("\t\t{ %d, %d, %d },\n", color_to_byte(c.r), color_to_byte(c.g),
                color_to_byte(c.b));
    }
    out.print("\t};\n");
  }
  if (has_faces) {
    out.print("\tstatic const int facedata[][3] = {\n");
    for (size_t i = 0; i < faces.size() && out.ok(); i++) {
      const Face& face = faces[i];
      out.print("\t\t{ %d, %d, %d },\n", face[0], face[1], face[2]);
    }
    out.print("\t};\n");
  }

  out.print("\n\tTriMesh *m = new TriMesh;\n");
  print_fill(out, "vertices", nv, "vertdata");
  if (colors && options.float_color) {
    print_fill(out, "colors", nv, "colordata");
  } else if (colors) {
    // Byte colours cannot be copied into float colours; each byte is scaled
    // as the readers scale colour bytes.
    out.print("\tm->colors.resize(%d);\n", static_cast<int>(nv));
    out.print("\tfor (int i = 0; i < %d; i++)\n", static_cast<int>(nv));
    out.print("\t\tfor (int j = 0; j < 3; j++)\n");
    out.print("\t\t\tm->colors[i][j] = colordata[i][j] * 0.003921569f;\n");
  }
  if (normals) print_fill(out, "normals", nv, "normdata");
  if (has_faces) print_fill(out, "faces", faces.size(), "facedata");
  out.print("\n\treturn m;\n}\n");
  return out.ok();
}
