// STL reader. Binary: an 80-byte header, a little-endian uint32 facet count,
// then 50 bytes per facet (normal, three corners, attribute word). Ascii:
// "solid NAME", then "facet normal ... outer loop", three "vertex x y z"
// lines, "endloop endfacet" per facet, and "endsolid". Every facet brings its
// own three vertices; nothing is shared.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

constexpr int kHeaderBytes = 80;
constexpr int kFacetBytes = 50;

uint32_t le_u32(const unsigned char* b) {
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

// Decoded from the bytes, so the result is the same on any host.
float le_f32(const unsigned char* b) {
  const uint32_t bits = le_u32(b);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

// The text of an ascii STL file: the bytes already taken for the binary
// header first, then the rest of the stream.
class StlText {
 public:
  StlText(const unsigned char* head, size_t n, std::FILE* f) : head_(head), n_(n), f_(f) {}
  // The next white-space-delimited token (cut at 1024 characters); false at end of file.
  bool token(std::string& t) {
    t.clear();
    int c = get();
    while (c != EOF && is_space(c)) c = get();
    while (c != EOF && !is_space(c)) {
      if (t.size() < 1024) t.push_back(static_cast<char>(c));
      c = get();
    }
    return !t.empty();
  }
  void skip_line() {
    int c;
    while ((c = get()) != EOF && c != '\n') {
    }
  }

 private:
  int get() { return at_ < n_ ? head_[at_++] : get_char(f_); }
  const unsigned char* head_;
  size_t n_, at_ = 0;
  std::FILE* f_;
};

bool stl_float(StlText& in, std::string& t, float& v) {
  if (!in.token(t)) return false;
  char* end;
  v = std::strtof(t.c_str(), &end);
  return end != t.c_str() && *end == '\0';
}

bool read_ascii_stl(TriMesh& mesh, StlText& in) {
  in.skip_line();  // "solid NAME": the name may hold any word
  std::string t;
  int facet = 0, corners = 0;
  progress_printf("\n  Reading ascii facets... ");
  while (in.token(t)) {
    if (t == "vertex") {
      point p;
      if (!stl_float(in, t, p.x) || !stl_float(in, t, p.y) || !stl_float(in, t, p.z)) {
        error_printf("Couldn't read vertex %d of facet %d.\n", corners, facet);
        return false;
      }
      mesh.vertices.push_back(p);
      corners++;
    } else if (t == "facet" || t == "endfacet") {
      // A facet opens with no vertex pending and closes with exactly three.
      const bool closes = t == "endfacet";
      if (corners != (closes ? 3 : 0)) {
        error_printf("Facet %d has %d vertices instead of three.\n", facet, corners);
        return false;
      }
      if (closes) {
        if (mesh.vertices.size() > static_cast<size_t>(INT32_MAX)) {
          error_printf("Too many facets (%d).\n", facet);
          return false;
        }
        const int32_t k = static_cast<int32_t>(mesh.vertices.size()) - 3;
        mesh.faces.emplace_back(k, k + 1, k + 2);
        facet++;
        corners = 0;
      }
    }
  }
  if (corners != 0) {
    error_printf("The file ends inside facet %d.\n", facet);
    return false;
  }
  return true;
}

// Binary files may also begin with "solid" (their header is free text), so
// an ascii file must also look like one: a line after the first beginning
// with "facet" or "endsolid" within the header bytes, or, for a long first
// line, text throughout the header of a file whose size does not fit the
// binary layout.
bool looks_ascii(const unsigned char* head, size_t n, std::FILE* f) {
  if (n < 5 || std::memcmp(head, "solid", 5) != 0) return false;
  const unsigned char* nl = static_cast<const unsigned char*>(std::memchr(head, '\n', n));
  if (nl) {
    const unsigned char* p = nl;
    while (p < head + n && is_space(*p)) p++;
    const size_t left = static_cast<size_t>(head + n - p);
    if ((left >= 5 && std::memcmp(p, "facet", 5) == 0) ||
        (left >= 8 && std::memcmp(p, "endsolid", 8) == 0))
      return true;
  }
  for (size_t i = 0; i < n; i++)
    if (head[i] >= 0x7F || (head[i] < 0x20 && !is_space(head[i]))) return false;
  if (n < kHeaderBytes + 4) return true;  // shorter than any binary file
  const int64_t left = bytes_remaining(f);
  return left >= 0 && left != int64_t{le_u32(head + kHeaderBytes)} * kFacetBytes;
}

}  // namespace

bool read_stl(TriMesh& mesh, std::FILE* f) {
  unsigned char header[kHeaderBytes + 4];
  const size_t got = std::fread(header, 1, sizeof header, f);
  if (looks_ascii(header, got, f)) {
    StlText text(header, got, f);
    return read_ascii_stl(mesh, text);
  }
  if (got != sizeof header) {
    error_printf("The file is shorter than a binary STL header.\n");
    return false;
  }
  const uint32_t nfacets = le_u32(header + kHeaderBytes);
  if (!input_may_hold(f, int64_t{nfacets} * kFacetBytes)) {
    error_printf("Declared %lu facets, more than the rest of the file can hold.\n",
                 static_cast<unsigned long>(nfacets));
    return false;
  }
  // Vertex indices are int32: three per facet must stay below their limit.
  const int64_t base = static_cast<int64_t>(mesh.vertices.size());
  if (base + 3 * int64_t{nfacets} > INT32_MAX) {
    error_printf("Too many facets (%lu).\n", static_cast<unsigned long>(nfacets));
    return false;
  }
  progress_printf("\n  Reading %lu facets... ", static_cast<unsigned long>(nfacets));
  // Only a regular file has proved it holds every facet; otherwise the
  // arrays grow as facets arrive.
  if (bytes_remaining(f) >= 0) {
    mesh.vertices.reserve(static_cast<size_t>(base + 3 * int64_t{nfacets}));
    mesh.faces.reserve(mesh.faces.size() + nfacets);
  }

  unsigned char facet[kFacetBytes];
  for (uint32_t i = 0; i < nfacets; i++) {
    if (std::fread(facet, 1, kFacetBytes, f) != kFacetBytes) {
      error_printf("Unexpected end of file in facet %lu.\n", static_cast<unsigned long>(i));
      return false;
    }
    // Bytes 0..11 hold the facet normal, which is recomputed on demand instead.
    const int32_t k = static_cast<int32_t>(mesh.vertices.size());
    for (int corner = 0; corner < 3; corner++) {
      const unsigned char* at = facet + 12 + 12 * corner;
      mesh.vertices.emplace_back(le_f32(at), le_f32(at + 4), le_f32(at + 8));
    }
    mesh.faces.emplace_back(k, k + 1, k + 2);
  }
  return true;
}
