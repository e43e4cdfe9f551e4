// Vertex records, binary and ascii: positions and the optional normal,
// colour and confidence of each vertex, at the offsets a VertexLayout gives.
#include <algorithm>
#include <cstring>

#include "geometry/large_arrays.h"
#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

// Bytes of vertex records decoded per block read on the record path.
constexpr int kRecordBlockBytes = 1 << 20;

point read_triple(const unsigned char* at, bool is_double, bool swap) {
  if (is_double) {
    double d[3];
    std::memcpy(d, at, sizeof d);
    if (swap)
      for (double& v : d) swap_bytes_8(&v);
    return point(static_cast<float>(d[0]), static_cast<float>(d[1]), static_cast<float>(d[2]));
  }
  float v[3];
  std::memcpy(v, at, sizeof v);
  if (swap)
    for (float& x : v) swap_bytes_4(&x);
  return point(v[0], v[1], v[2]);
}

int triple_size(bool is_double) { return is_double ? 24 : 12; }

// Every present field lies inside a record of record_len units.
bool layout_fits(const VertexLayout& l, bool binary) {
  auto fits = [&](int off, int size) { return off < 0 || (off <= l.record_len - size); };
  if (!binary)
    return fits(l.pos, 3) && fits(l.norm, 3) && fits(l.color, 3) && fits(l.conf, 1);
  return fits(l.pos, triple_size(l.pos_double)) && fits(l.norm, triple_size(l.norm_double)) &&
         fits(l.color, l.float_color ? 12 : 3) && fits(l.conf, 4);
}

// Grows every array the layout fills to n entries.
void grow_vertex_arrays(TriMesh& mesh, const VertexLayout& l, size_t n) {
  resize_large(mesh.vertices, n);
  if (l.norm >= 0) resize_large(mesh.normals, n);
  if (l.color >= 0) resize_large(mesh.colors, n);
  if (l.conf >= 0) resize_large(mesh.confidences, n);
}

// The checks both readers start with; prints what is wrong with the layout.
bool layout_usable(int nverts, const VertexLayout& l, bool binary) {
  if (nverts < 1) {
    error_printf("The file declares %d vertices; a mesh needs at least one.\n", nverts);
    return false;
  }
  if (l.pos < 0) {
    error_printf("The vertex records hold no x, y, z position.\n");
    return false;
  }
  if (l.record_len < (binary ? 12 : 3) || !layout_fits(l, binary)) {
    error_printf("The vertex records are too short for the fields they declare.\n");
    return false;
  }
  return true;
}

// Byte colours in ascii: three integers, whatever blanks separate them from
// the value before. A record whose line ends where its colour should start
// is white (files rely on this); that cannot apply to a record's first
// token, whose line end belongs to the record before. Values outside
// 0 .. 255 are clamped rather than wrapped.
bool scan_byte_color(std::FILE* f, bool first_in_record, Color& color) {
  int rgb[3] = {255, 255, 255};
  bool line_ended = false;
  if (!first_in_record) {
    int c = get_char(f);
    while (c == ' ' || c == '\t' || c == '\v' || c == '\f') c = get_char(f);
    line_ended = c == '\n' || c == '\r' || c == EOF;
    if (!line_ended) std::ungetc(c, f);
  }
  if (!line_ended && !(scan_int(f, rgb[0]) && scan_int(f, rgb[1]) && scan_int(f, rgb[2])))
    return false;
  uint8_t bytes[3];
  for (int k = 0; k < 3; k++) bytes[k] = static_cast<uint8_t>(std::clamp(rgb[k], 0, 255));
  color = Color::from_bytes(bytes[0], bytes[1], bytes[2]);
  return true;
}

void reserve_vertex_arrays(TriMesh& mesh, const VertexLayout& l, size_t n) {
  reserve_large(mesh.vertices, n);
  if (l.norm >= 0) reserve_large(mesh.normals, n);
  if (l.color >= 0) reserve_large(mesh.colors, n);
  if (l.conf >= 0) reserve_large(mesh.confidences, n);
}

void decode_vertex(TriMesh& mesh, size_t i, const unsigned char* rec, const VertexLayout& l,
                   bool swap) {
  mesh.vertices[i] = read_triple(rec + l.pos, l.pos_double, swap);
  if (l.norm >= 0) mesh.normals[i] = read_triple(rec + l.norm, l.norm_double, swap);
  if (l.color >= 0) {
    if (l.float_color) {
      point c = read_triple(rec + l.color, false, swap);
      mesh.colors[i] = Color(c.x, c.y, c.z);
    } else {
      const unsigned char* c = rec + l.color;
      mesh.colors[i] = Color::from_bytes(c[0], c[1], c[2]);
    }
  }
  if (l.conf >= 0) {
    float conf;
    std::memcpy(&conf, rec + l.conf, 4);
    if (swap) swap_bytes_4(&conf);
    mesh.confidences[i] = conf;
  }
}

bool vertices_end_early() {
  error_printf("Unexpected end of file in the vertex records.\n");
  return false;
}

}  // namespace

VertexLayout VertexLayout::positions_only(int record_len) {
  VertexLayout layout;
  layout.record_len = record_len;
  layout.pos = 0;
  return layout;
}

bool read_verts_binary(TriMesh& mesh, std::FILE* f, bool& need_swap, int nverts,
                       const VertexLayout& layout) {
  if (!layout_usable(nverts, layout, true)) return false;
  const size_t len = static_cast<size_t>(layout.record_len);
  if (!input_may_hold(f, static_cast<int64_t>(nverts) * layout.record_len)) {
    error_printf("Declared %d vertices, more than the rest of the file can hold.\n", nverts);
    return false;
  }
  const size_t base = mesh.vertices.size();
  const size_t total = base + static_cast<size_t>(nverts);
  // A regular file already proved it holds every record: size once.
  if (bytes_remaining(f) >= 0) reserve_vertex_arrays(mesh, layout, total);

  // First vertex: decides the byte order for the whole file.
  std::vector<unsigned char> block(len);
  if (read_raw(block.data(), 1, len, f) != len) return vertices_end_early();
  guess_byte_order(block.data() + layout.pos, layout.pos_double, need_swap);
  grow_vertex_arrays(mesh, layout, base + 1);
  decode_vertex(mesh, base, block.data(), layout, need_swap);
  progress_printf("\n  Reading %d vertices... ", nverts);

  // Positions-only records are the array's own layout: they are read in place,
  // in one block when the file proved it holds them all, else in chunks.
  const bool positions_only = len == 12 && layout.pos == 0 && !layout.pos_double;
  const bool size_known = bytes_remaining(f) >= 0;
  const size_t records_per_block =
      positions_only ? (size_known ? total - base : static_cast<size_t>(kGrowthChunk))
                     : std::max<size_t>(1, kRecordBlockBytes / len);
  if (!positions_only) block.resize(records_per_block * len);
  size_t done = base + 1;
  while (done < total) {
    size_t n = std::min(total - done, records_per_block);
    grow_vertex_arrays(mesh, layout, done + n);
    if (positions_only) {
      if (read_raw(mesh.vertices[done].data(), 12, n, f) != n) return vertices_end_early();
      if (need_swap)
        for (size_t i = done; i < done + n; i++)
          for (int k = 0; k < 3; k++) swap_bytes_4(&mesh.vertices[i][k]);
    } else {
      if (read_raw(block.data(), len, n, f) != n) return vertices_end_early();
      for (size_t i = 0; i < n; i++) decode_vertex(mesh, done + i, &block[i * len], layout, need_swap);
    }
    done += n;
  }
  return true;
}

bool read_verts_ascii(TriMesh& mesh, std::FILE* f, int nverts, const VertexLayout& layout) {
  if (!layout_usable(nverts, layout, false)) return false;
  // Each token takes at least one character and one separator; a byte colour
  // may be missing altogether (white).
  const int64_t min_tokens = layout.record_len - (layout.color >= 0 && !layout.float_color ? 3 : 0);
  if (!input_may_hold(f, 2 * static_cast<int64_t>(nverts) * min_tokens - 1)) {
    error_printf("Declared %d vertices, more than the rest of the file can hold.\n", nverts);
    return false;
  }
  const size_t base = mesh.vertices.size();
  const size_t total = base + static_cast<size_t>(nverts);
  skip_comments(f);
  progress_printf("\n  Reading %d vertices... ", nverts);

  for (size_t i = base; i < total; i++) {
    if (i == mesh.vertices.size())
      grow_vertex_arrays(mesh, layout, std::min(total, i + static_cast<size_t>(kGrowthChunk)));
    const int vertex = static_cast<int>(i - base);
    for (int t = 0; t < layout.record_len; t++) {
      if (t == layout.pos) {
        point& p = mesh.vertices[i];
        if (!scan_float(f, p.x) || !scan_float(f, p.y) || !scan_float(f, p.z)) {
          error_printf("Couldn't read position of vertex %d.\n", vertex);
          return false;
        }
        t += 2;
      } else if (t == layout.norm) {
        point& n = mesh.normals[i];
        if (!scan_float(f, n.x) || !scan_float(f, n.y) || !scan_float(f, n.z)) return false;
        t += 2;
      } else if (t == layout.color && layout.float_color) {
        Color& c = mesh.colors[i];
        if (!scan_float(f, c.r) || !scan_float(f, c.g) || !scan_float(f, c.b)) return false;
        t += 2;
      } else if (t == layout.color) {
        if (!scan_byte_color(f, t == 0, mesh.colors[i])) {
          error_printf("Couldn't read colour of vertex %d.\n", vertex);
          return false;
        }
        t += 2;
      } else if (t == layout.conf) {
        if (!scan_float(f, mesh.confidences[i])) return false;
      } else if (!skip_token(f)) {
        return false;
      }
    }
  }
  return true;
}
