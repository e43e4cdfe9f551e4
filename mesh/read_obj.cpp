// OBJ reader: "v" positions, "vn" normals and "f" (or "t") polygons; every
// other line (texture coordinates, groups, materials, comments) is ignored.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

// Reads one line without its line feed; false at end of file with nothing read.
bool read_line(std::FILE* f, std::string& line) {
  line.clear();
  int c;
  while ((c = std::getc(f)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  return c != EOF || !line.empty();
}

bool starts_with_keyword(const std::string& line, const char* keyword) {
  const size_t n = std::strlen(keyword);
  return line.size() > n && line.compare(0, n, keyword) == 0 &&
         (line[n] == ' ' || line[n] == '\t');
}

bool scan_triple(const std::string& line, size_t keyword_len, point& p) {
  return std::sscanf(line.c_str() + keyword_len, "%f %f %f", &p.x, &p.y, &p.z) == 3;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The vertex indices of a polygon line after its keyword. Each token's part
// before a "/" is the index: 1-based, or counted back from the last vertex
// read when negative. The list ends at the first token without a number.
void polygon_indices(const std::string& line, size_t start, int nverts, std::vector<int>& out) {
  out.clear();
  const char* s = line.c_str() + start;
  const char* end = line.c_str() + line.size();
  for (;;) {
    while (s < end && is_blank(*s)) s++;
    if (s == end) return;
    int v;
    const char* digits = (*s == '+' && s + 1 < end) ? s + 1 : s;
    const auto [next, ec] = std::from_chars(digits, end, v);
    if (ec != std::errc()) return;
    out.push_back(v < 0 ? v + nverts : v - 1);
    s = next;
    while (s < end && !is_blank(*s)) s++;
  }
}

}  // namespace

bool read_obj(TriMesh& mesh, std::FILE* f) {
  std::string line;
  std::vector<int> indices;
  for (unsigned long line_number = 1; read_line(f, line); line_number++) {
    if (starts_with_keyword(line, "v")) {
      point p;
      if (!scan_triple(line, 2, p)) {
        error_printf("Couldn't read vertex on line %lu.\n", line_number);
        return false;
      }
      mesh.vertices.push_back(p);
    } else if (starts_with_keyword(line, "vn")) {
      point n;
      if (!scan_triple(line, 3, n)) {
        error_printf("Couldn't read normal on line %lu.\n", line_number);
        return false;
      }
      mesh.normals.push_back(n);
    } else if (starts_with_keyword(line, "f") || starts_with_keyword(line, "t")) {
      polygon_indices(line, 2, static_cast<int>(mesh.vertices.size()), indices);
      add_polygon(mesh, indices);
    }
  }
  return !std::ferror(f);
}
