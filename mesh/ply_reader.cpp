// PLY reader: a line-oriented header parser with a fixed, prefix-matched
// vocabulary, then the bulk vertex and face record readers.
//
// Every test of a header line is a prefix test: "property float x" also
// accepts a property named x followed by further letters. Elements the reader
// does not use are skipped by size (bytes in binary files, tokens in ascii
// files); a list property outside the face element cannot be sized and fails.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

// Header lines are read into a buffer of this size; a longer line arrives in
// pieces, each taken as a line.
constexpr int kLineBytes = 1024;
// A vertex or face record longer than this is not a real file (and would
// overflow the 32-bit offsets).
constexpr int64_t kMaxRecordLen = 1 << 20;

// What the header says about the body.
struct PlyHeader {
  bool binary = false;
  bool need_swap = false;  // the file's byte order is not the host's
  int nverts = 0, nfaces = 0;
  bool has_tristrips = false;
  int ngrid = 0;
  VertexLayout vert;       // record_len, offsets of x, nx, red, confidence
  FaceLayout face;         // record_len counts the list's count, not its indices
  int64_t skip_before = 0;   // size of the elements before the vertices
  int64_t skip_between = 0;  // size of the elements between vertices and connectivity
};

// The prefix test of header lines. A literal's length is known when it is
// compiled, which keeps the dozens of tests per property line cheap.
bool line_begins(const char* line, const char* literal) {
  return std::strncmp(line, literal, std::strlen(literal)) == 0;
}
template <size_t N>
bool line_is(const char* line, const char (&literal)[N]) {
  return std::strncmp(line, literal, N - 1) == 0;
}

// The integer that `text` starts with (after blanks), as a printf-style %d
// scan finds it. kNone when there is no number; kOutOfRange when it does not
// fit `lo` .. 2^31 - 1 (a wrapped count would read a different file).
enum class CountScan { kOk, kNone, kOutOfRange };
CountScan scan_count(const char* text, int& value, long long lo) {
  char* end;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text) return CountScan::kNone;
  if (errno == ERANGE || v < lo || v > INT_MAX) return CountScan::kOutOfRange;
  value = static_cast<int>(v);
  return CountScan::kOk;
}

// The count of an element line, read from `count_text` (the part of `line`
// after the element's name). Prints and fails for a count outside
// 0 .. 2^31 - 1; `found` tells whether a number was there at all.
bool element_count(const char* line, const char* count_text, int& count, bool& found) {
  const CountScan scan = scan_count(count_text, count, 0);
  found = scan != CountScan::kNone;
  if (scan != CountScan::kOutOfRange) return true;
  error_printf("Element count out of range in [%.*s].\n",
               static_cast<int>(std::strcspn(line, "\r\n")), line);
  return false;
}

// The header reader: one line at a time, skipping comment lines wherever they
// appear (so a comment between property lines does not end an element).
class HeaderLines {
 public:
  HeaderLines(TriMesh& mesh, std::FILE* f) : mesh_(mesh), f_(f) {}
  // Reads the next line that is not "comment" or "obj_info"; false at end of file.
  bool next() {
    while (std::fgets(buf_, sizeof buf_, f_)) {
      if (line_is(buf_, "obj_info num_cols")) {
        if (!grid_size("obj_info num_cols", mesh_.grid_width)) return false;
      } else if (line_is(buf_, "obj_info num_rows")) {
        if (!grid_size("obj_info num_rows", mesh_.grid_height)) return false;
      } else if (!line_is(buf_, "obj_info") && !line_is(buf_, "comment")) {
        return true;
      }
    }
    return at_end();
  }
  // Reads the next line whatever it is; false at end of file.
  bool raw_next() { return std::fgets(buf_, sizeof buf_, f_) ? true : at_end(); }
  const char* line() const { return buf_; }
  bool is(const char* literal) const { return line_begins(buf_, literal); }
  // The line without its line end, for messages.
  const char* text() {
    buf_[std::strcspn(buf_, "\r\n")] = '\0';
    return buf_;
  }

 private:
  // A grid size that does not fit an int32 fails; one that does not scan
  // leaves the size unset.
  bool grid_size(const char* literal, int& size) {
    if (scan_count(buf_ + std::strlen(literal), size, INT_MIN) != CountScan::kOutOfRange)
      return true;
    error_printf("Grid size out of range in [%s].\n", text());
    return false;
  }
  bool at_end() {
    buf_[0] = '\0';
    error_printf("Unexpected end of file in the header.\n");
    return false;
  }

  TriMesh& mesh_;
  std::FILE* f_;
  char buf_[kLineBytes];
};

// Property sizing rule: the size of one scalar property line, or -1 for
// anything else (notably a list). In ascii files every scalar is one token.
int property_size(const char* line, bool binary) {
  static const char* const k1[] = {"property char", "property uchar", "property int8",
                                   "property uint8"};
  static const char* const k2[] = {"property short", "property ushort", "property int16",
                                   "property uint16"};
  // float64 before float: it would otherwise match the 4-byte prefix.
  static const char* const k8[] = {"property double", "property float64"};
  static const char* const k4[] = {"property int",    "property uint",   "property float",
                                   "property int32",  "property uint32", "property float32"};
  for (const char* p : k1)
    if (line_begins(line, p)) return 1;
  for (const char* p : k2)
    if (line_begins(line, p)) return binary ? 2 : 1;
  for (const char* p : k8)
    if (line_begins(line, p)) return binary ? 8 : 1;
  for (const char* p : k4)
    if (line_begins(line, p)) return binary ? 4 : 1;
  return -1;
}

// Adds one property line's size to `len`; prints and fails for a line the
// sizing rule does not know or a record grown beyond any real file.
bool add_property(HeaderLines& lines, bool binary, int& len) {
  int size = property_size(lines.line(), binary);
  if (size < 0) {
    error_printf("Unsupported vertex property: [%s].\n", lines.text());
    return false;
  }
  if (len + size > kMaxRecordLen) {
    error_printf("Element record longer than %d bytes.\n", static_cast<int>(kMaxRecordLen));
    return false;
  }
  len += size;
  return true;
}

// Adds the sizes of the property lines from the current one on to `len`.
bool add_properties(HeaderLines& lines, bool binary, int& len) {
  while (lines.is("property")) {
    if (!add_property(lines, binary, len)) return false;
    if (!lines.next()) return false;
  }
  return true;
}

// Elements the reader does not use, up to a line that begins with one of
// `stops`: each "element NAME COUNT" with its property lines adds COUNT times
// its record size to `skip`. A line that is neither element nor property
// starts an element of count 0, as an element line whose count does not scan.
bool skip_elements(HeaderLines& lines, bool binary, const char* const* stops, int nstops,
                   int64_t& skip) {
  auto at_stop = [&]() {
    for (int i = 0; i < nstops; i++)
      if (lines.is(stops[i])) return true;
    return false;
  };
  while (!at_stop()) {
    // "element NAME COUNT"; a count that does not scan counts 0.
    int count = 0;
    if (lines.is("element")) {
      const char* s = lines.line() + 7;
      s += std::strspn(s, " \t\r\n\v\f");
      s += std::strcspn(s, " \t\r\n\v\f");
      bool found = false;
      if (!element_count(lines.line(), s, count, found)) return false;
      if (!found) count = 0;
    }
    int len = 0;
    if (!lines.next() || !add_properties(lines, binary, len)) return false;
    skip += static_cast<int64_t>(count) * len;
  }
  return true;
}

// Records where x, nx, red and confidence sit in the vertex record; float64
// positions and normals are accepted besides the float32 ones.
void note_vertex_property(const char* line, VertexLayout& v) {
  const int at = v.record_len;
  if (line_is(line, "property float x") || line_is(line, "property float32 x")) v.pos = at;
  if (line_is(line, "property double x") || line_is(line, "property float64 x")) {
    v.pos = at;
    v.pos_double = true;
  }
  if (line_is(line, "property float nx") || line_is(line, "property float32 nx")) v.norm = at;
  if (line_is(line, "property double nx") || line_is(line, "property float64 nx")) {
    v.norm = at;
    v.norm_double = true;
  }
  if (line_is(line, "property uchar diffuse_red") || line_is(line, "property uint8 diffuse_red") ||
      line_is(line, "property uchar red") || line_is(line, "property uint8 red"))
    v.color = at;
  if (line_is(line, "property float diffuse_red") ||
      line_is(line, "property float32 diffuse_red") || line_is(line, "property float red") ||
      line_is(line, "property float32 red")) {
    v.color = at;
    v.float_color = true;
  }
  if (line_is(line, "property float confidence") || line_is(line, "property float32 confidence"))
    v.conf = at;
}

// Width in bytes of the count of a face index list line, or 0 when the line
// is not one. Counts: char/uchar/int8/uint8 (1), ushort/uint16 (2),
// int/uint/int32/uint32 (4); indices: int, int32, uint or uint32; the name
// begins with "vertex_indices" or "vertex_index". The words are matched in
// place, with single spaces between them as in the prefix literals, so that
// a header of many property lines parses in time linear in its length.
int index_list_count_width(const char* line, bool one_byte_only) {
  static const struct {
    const char* name;
    int width;
  } kCounts[] = {{"uchar", 1}, {"uint8", 1}, {"char", 1},   {"int8", 1},
                 {"ushort", 2}, {"uint16", 2}, {"uint", 4}, {"uint32", 4},
                 {"int", 4},   {"int32", 4}};
  static const char* const kIndices[] = {"int", "int32", "uint", "uint32"};
  // The word at `s` equals `word` and is followed by one space.
  auto word_then_space = [](const char* s, const char* word) {
    const size_t n = std::strlen(word);
    return std::strncmp(s, word, n) == 0 && s[n] == ' ';
  };
  if (std::strncmp(line, "property list ", 14) != 0) return 0;
  const char* s = line + std::strlen("property list ");
  for (const auto& c : kCounts) {
    if (!word_then_space(s, c.name)) continue;
    if (one_byte_only && c.width != 1) return 0;
    const char* idx = s + std::strlen(c.name) + 1;
    for (const char* i : kIndices) {
      if (!word_then_space(idx, i)) continue;
      const char* name = idx + std::strlen(i) + 1;
      const bool indices = std::strncmp(name, "vertex_indices", 14) == 0 ||
                           std::strncmp(name, "vertex_index", 12) == 0;
      return indices ? c.width : 0;
    }
    return 0;
  }
  return 0;
}

// Consumes the property lines of an element that holds no data.
bool skip_properties(HeaderLines& lines) {
  while (lines.is("property"))
    if (!lines.next()) return false;
  return true;
}

// "element NAME COUNT" at the current line: its count, which must scan and
// fit 0 .. 2^31 - 1; then moves to the next line.
bool element_header(HeaderLines& lines, const char* name, int& count) {
  bool found = false;
  if (!element_count(lines.line(), lines.line() + std::strlen(name), count, found)) return false;
  return found && lines.next();
}

// The format line: ascii, or binary in either byte order (need_swap when the
// file's order is not the host's). Blank remnants of a CR LF magic line
// before it are skipped.
bool parse_format(HeaderLines& lines, PlyHeader& h) {
  bool got = lines.next();
  while (got && is_space(lines.line()[0])) got = lines.next();
  if (got && lines.is("format binary_big_endian 1.0")) {
    h.binary = true;
    h.need_swap = host_is_little_endian();
  } else if (got && lines.is("format binary_little_endian 1.0")) {
    h.binary = true;
    h.need_swap = !host_is_little_endian();
  } else if (!(got && lines.is("format ascii 1.0"))) {
    error_printf("Unknown ply format or version.\n");
    return false;
  }
  return lines.next();
}

// The elements before the vertices (sized into skip_before), then the
// vertex element, which must come: its count and record layout.
bool parse_vertex_element(HeaderLines& lines, PlyHeader& h) {
  static const char* const kVertexStops[] = {"end_header", "element vertex"};
  if (!skip_elements(lines, h.binary, kVertexStops, 2, h.skip_before)) return false;
  bool found = false;
  if (lines.is("element vertex") &&
      !element_count(lines.line(), lines.line() + std::strlen("element vertex"), h.nverts, found))
    return false;
  if (!found) {
    error_printf("Expected \"element vertex\".\n");
    return false;
  }
  if (!lines.next()) return false;
  while (lines.is("property")) {
    note_vertex_property(lines.line(), h.vert);
    if (!add_property(lines, h.binary, h.vert.record_len)) return false;
    if (!lines.next()) return false;
  }
  return true;
}

// A face element's properties: where the vertex index list's count sits and
// its width, every other property sized into the record.
bool parse_face_properties(HeaderLines& lines, PlyHeader& h) {
  while (lines.is("property")) {
    const int width = index_list_count_width(lines.line(), false);
    if (width > 0) {
      // The count is one token in ascii whatever its binary width.
      const int count_len = h.binary ? width : 1;
      h.face.count = h.face.record_len;
      h.face.first_index = h.face.record_len + count_len;
      h.face.record_len += count_len;
    } else if (!add_property(lines, h.binary, h.face.record_len)) {
      return false;
    }
    if (!lines.next()) return false;
  }
  return true;
}

// The connectivity element at the current line (face, tristrips or
// range_grid; end_header means none). `holds_data` is false for an empty
// face or grid element, which point-cloud writers declare ("element face
// 0"): it takes no bytes and must not hide a later one. A strip element must
// list int32 indices first, a grid element one-byte counts of int32 indices.
bool parse_connectivity_element(HeaderLines& lines, PlyHeader& h, bool& holds_data) {
  holds_data = true;
  if (lines.is("element face")) {
    if (!element_header(lines, "element face", h.nfaces)) return false;
    if (h.nfaces == 0) {
      holds_data = false;
      return skip_properties(lines);
    }
    return parse_face_properties(lines, h);
  }
  if (lines.is("element tristrips")) {
    h.has_tristrips = true;
    if (!lines.next()) return false;
    if (!lines.is("property list int int vertex_indices") &&
        !lines.is("property list int32 int32 vertex_indices"))
      return false;
    return lines.next() && add_properties(lines, h.binary, h.face.record_len);
  }
  if (lines.is("element range_grid")) {
    if (!element_header(lines, "element range_grid", h.ngrid)) return false;
    if (h.ngrid == 0) {
      holds_data = false;
      return skip_properties(lines);
    }
    if (index_list_count_width(lines.line(), true) != 1) return false;
    return lines.next() && add_properties(lines, h.binary, h.face.record_len);
  }
  return true;
}

// The elements after the vertices up to the first connectivity element that
// holds data (sized into skip_between), and that element.
bool parse_connectivity(HeaderLines& lines, PlyHeader& h) {
  static const char* const kConnectivityStops[] = {"end_header", "element face",
                                                   "element tristrips", "element range_grid"};
  for (bool holds_data = false; !holds_data;) {
    if (!skip_elements(lines, h.binary, kConnectivityStops, 4, h.skip_between)) return false;
    if (!parse_connectivity_element(lines, h, holds_data)) return false;
  }
  return true;
}

// Elements after the connectivity element are never read: skips to
// end_header. A binary file whose end_header line ends in CR was probably
// transferred as text, which is worth a warning.
bool finish_header(HeaderLines& lines, const PlyHeader& h) {
  while (!lines.is("end_header"))
    if (!lines.raw_next()) return false;
  if (h.binary && lines.line()[10] == '\r')
    error_printf("Warning: possibly corrupt file. (Transferred as ASCII instead of BINARY?)\n");
  return true;
}

bool parse_header(HeaderLines& lines, PlyHeader& h) {
  return parse_format(lines, h) && parse_vertex_element(lines, h) &&
         parse_connectivity(lines, h) && finish_header(lines, h);
}

// Discards `size` units of elements the reader does not use: bytes (a forward
// seek, or reading for a stream that cannot seek) or ascii tokens.
bool skip_unused(std::FILE* f, bool binary, int64_t size) {
  if (size <= 0) return true;
  auto ends_early = [] {
    error_printf("The file ends inside the elements the reader skips.\n");
    return false;
  };
  if (!binary) {
    for (int64_t i = 0; i < size; i++)
      if (!skip_token(f)) return ends_early();
    return true;
  }
  if (!input_may_hold(f, size)) return ends_early();
  if (bytes_remaining(f) >= 0) return std::fseek(f, static_cast<long>(size), SEEK_CUR) == 0;
  char scratch[1 << 14];
  while (size > 0) {
    size_t n = static_cast<size_t>(size < static_cast<int64_t>(sizeof scratch) ? size : sizeof scratch);
    if (read_raw(scratch, 1, n, f) != n) return ends_early();
    size -= static_cast<int64_t>(n);
  }
  return true;
}

}  // namespace

bool read_ply_header_and_body(TriMesh& mesh, std::FILE* f) {
  HeaderLines lines(mesh, f);
  PlyHeader h;
  if (!parse_header(lines, h)) return false;

  if (h.ngrid != 0) {
    const int64_t cells = static_cast<int64_t>(mesh.grid_width) * mesh.grid_height;
    if (mesh.grid_width < 1 || mesh.grid_height < 1 || cells != h.ngrid) {
      error_printf("Range grid size does not equal num_rows*num_cols.\n");
      return false;
    }
  }

  // Body, in file order; the reader never seeks backwards.
  if (!skip_unused(f, h.binary, h.skip_before)) return false;
  bool ok = h.binary ? read_verts_binary(mesh, f, h.need_swap, h.nverts, h.vert)
                     : read_verts_ascii(mesh, f, h.nverts, h.vert);
  if (!ok) return false;
  if (!skip_unused(f, h.binary, h.skip_between)) return false;

  if (h.ngrid != 0) {
    if (!read_ply_grid(mesh, f, h.binary, h.need_swap, h.ngrid)) return false;
    mesh.triangulate_grid();
    return true;
  }
  if (h.has_tristrips) {
    if (!read_ply_strips(mesh, f, h.binary, h.need_swap)) return false;
    mesh.convert_strips(TriMesh::TSTRIP_LENGTH);
    return true;
  }
  if (h.nfaces != 0) {
    return h.binary ? read_faces_binary(mesh, f, h.need_swap, h.nfaces, h.face)
                    : read_faces_ascii(mesh, f, h.nfaces, h.face);
  }
  return true;  // a point cloud
}
