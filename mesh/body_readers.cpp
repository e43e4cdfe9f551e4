// Body readers shared by the PLY reader and the other format readers.
//
// All reads go through the stdio buffer of the caller's stream and only move
// forward. Counts from a file are never trusted for an allocation: a regular
// file's remaining size bounds them up front, and every array otherwise grows
// in chunks of at most kChunk elements as data actually arrives.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

// Largest number of elements an array grows by before data backs it.
constexpr int kChunk = 1 << 16;
// Bytes of vertex records decoded per block read on the record path.
constexpr int kRecordBlockBytes = 1 << 20;
// The longest ascii token a scan looks at (longer tokens are cut there).
constexpr int kMaxToken = 1024;
// A coordinate beyond this magnitude marks a first vertex read in the wrong byte order.
constexpr double kPlausibleLimit = 1e10;

// Unlocked stdio: the readers own the stream while they run, so the
// per-call locking of fread/getc is pure overhead on millions of small reads.
inline size_t read_raw(void* dst, size_t size, size_t n, std::FILE* f) {
#if defined(__GLIBC__)
  return fread_unlocked(dst, size, n, f);
#else
  return std::fread(dst, size, n, f);
#endif
}
inline int get_char(std::FILE* f) {
#if defined(__GLIBC__)
  return getc_unlocked(f);
#else
  return std::getc(f);
#endif
}
inline bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads one token into buf (NUL-terminated). Returns its length, or -1 at end
// of file before any token. The character that ended the token is pushed back.
int read_token(std::FILE* f, char* buf, int cap) {
  int c = get_char(f);
  while (c != EOF && is_space(c)) c = get_char(f);
  if (c == EOF) return -1;
  int len = 0;
  while (c != EOF && !is_space(c) && len < cap - 1) {
    buf[len++] = static_cast<char>(c);
    c = get_char(f);
  }
  if (c != EOF) std::ungetc(c, f);
  buf[len] = '\0';
  return len;
}

// A leading '+' is allowed as in printf-style scanning; from_chars rejects it.
const char* skip_plus(const char* s, const char* end) {
  return (end - s > 1 && s[0] == '+' && s[1] != '-') ? s + 1 : s;
}

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

// The raw first coordinates in one byte order, widened to double.
void raw_coords(const unsigned char* at, bool is_double, bool swap, double out[3]) {
  for (int i = 0; i < 3; i++) {
    if (is_double) {
      double d;
      std::memcpy(&d, at + 8 * i, 8);
      if (swap) swap_bytes_8(&d);
      out[i] = d;
    } else {
      float v;
      std::memcpy(&v, at + 4 * i, 4);
      if (swap) swap_bytes_4(&v);
      out[i] = v;
    }
  }
}

bool all_plausible(const double v[3]) {
  for (int i = 0; i < 3; i++)
    if (!(v[i] > -kPlausibleLimit && v[i] < kPlausibleLimit)) return false;
  return true;
}

bool all_finite(const double v[3]) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Inverts need_swap when the first vertex is implausible in the declared byte
// order and plausible in the other. NaN and infinity are common "no sample"
// markers of scanners, so a first vertex holding one is not taken as evidence.
void check_endianness(const unsigned char* record, const VertexLayout& layout, bool& need_swap) {
  double declared[3];
  raw_coords(record + layout.pos, layout.pos_double, need_swap, declared);
  if (all_plausible(declared) || !all_finite(declared)) return;
  double other[3];
  raw_coords(record + layout.pos, layout.pos_double, !need_swap, other);
  if (all_plausible(other)) {
    progress_printf("Compensating for bogus endianness...\n");
    need_swap = !need_swap;
  }
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
  mesh.vertices.resize(n);
  if (l.norm >= 0) mesh.normals.resize(n);
  if (l.color >= 0) mesh.colors.resize(n);
  if (l.conf >= 0) mesh.confidences.resize(n);
}

void reserve_vertex_arrays(TriMesh& mesh, const VertexLayout& l, size_t n) {
  mesh.vertices.reserve(n);
  if (l.norm >= 0) mesh.normals.reserve(n);
  if (l.color >= 0) mesh.colors.reserve(n);
  if (l.conf >= 0) mesh.confidences.reserve(n);
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

// Forward reads of one element's bytes through a read-ahead buffer, for
// records too small to read one by one at speed. The read-ahead never goes
// past the element: each call names `floor`, a lower bound on the bytes the
// element still holds from the current position, and no more than that is
// read, so the stream stays where an exact reader would leave it.
class ElementBytes {
 public:
  explicit ElementBytes(std::FILE* f) : f_(f) {}
  bool take(void* dst, size_t n, int64_t floor) {
    if (!fill(n, floor)) return false;
    if (n > 0) std::memcpy(dst, &buf_[pos_], n);
    pos_ += n;
    return true;
  }
  bool skip(size_t n, int64_t floor) {
    if (!fill(n, floor)) return false;
    pos_ += n;
    return true;
  }

 private:
  static constexpr int64_t kReadAhead = 1 << 20;
  // Makes n bytes available at pos_.
  bool fill(size_t n, int64_t floor) {
    const size_t avail = end_ - pos_;
    if (avail >= n) return true;
    if (avail > 0) std::memmove(buf_.data(), &buf_[pos_], avail);
    pos_ = 0;
    end_ = avail;
    const size_t want = std::max<size_t>(n, static_cast<size_t>(std::min(floor, kReadAhead)));
    if (buf_.size() < want) buf_.resize(want);
    end_ += read_raw(&buf_[end_], 1, want - end_, f_);
    return end_ >= n;
  }

  std::FILE* f_;
  std::vector<unsigned char> buf_;
  size_t pos_ = 0, end_ = 0;
};

}  // namespace

void swap_bytes_4(void* value) {
  unsigned char* b = static_cast<unsigned char*>(value);
  std::swap(b[0], b[3]);
  std::swap(b[1], b[2]);
}

void swap_bytes_2(void* value) {
  unsigned char* b = static_cast<unsigned char*>(value);
  std::swap(b[0], b[1]);
}

void swap_bytes_8(void* value) {
  unsigned char* b = static_cast<unsigned char*>(value);
  for (int i = 0; i < 4; i++) std::swap(b[i], b[7 - i]);
}

int64_t bytes_remaining(std::FILE* f) {
  int fd = fileno(f);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  long pos = std::ftell(f);
  if (pos < 0) return -1;
  return std::max<int64_t>(0, static_cast<int64_t>(st.st_size) - pos);
}

bool input_may_hold(std::FILE* f, int64_t needed) {
  int64_t left = bytes_remaining(f);
  return left < 0 || needed <= left;
}

bool scan_float(std::FILE* f, float& value) {
  char buf[kMaxToken + 1];
  int len = read_token(f, buf, sizeof buf);
  if (len <= 0) return false;
  const char* s = skip_plus(buf, buf + len);
  auto [end, ec] = std::from_chars(s, buf + len, value);
  // Out-of-range values saturate as a printf-style scan would give them.
  if (ec == std::errc::result_out_of_range && end == buf + len) {
    value = static_cast<float>(std::strtod(buf, nullptr));
    return true;
  }
  return ec == std::errc() && end == buf + len;
}

bool scan_int(std::FILE* f, int& value) {
  char buf[kMaxToken + 1];
  int len = read_token(f, buf, sizeof buf);
  if (len <= 0) return false;
  const char* s = skip_plus(buf, buf + len);
  auto [end, ec] = std::from_chars(s, buf + len, value);
  return ec == std::errc() && end == buf + len;
}

bool skip_token(std::FILE* f) {
  int c = get_char(f);
  while (c != EOF && is_space(c)) c = get_char(f);
  if (c == EOF) return false;
  while (c != EOF && !is_space(c)) c = get_char(f);
  if (c != EOF) std::ungetc(c, f);
  return true;
}

void skip_comments(std::FILE* f) {
  int c;
  while ((c = get_char(f)) != EOF) {
    if (is_space(c)) continue;
    if (c == '#') {
      while ((c = get_char(f)) != EOF && c != '\n') {
      }
      continue;
    }
    std::ungetc(c, f);
    return;
  }
}

bool read_verts_binary(TriMesh& mesh, std::FILE* f, bool& need_swap, int nverts,
                       const VertexLayout& layout) {
  if (nverts < 1 || layout.record_len < 12 || layout.pos < 0 || !layout_fits(layout, true))
    return false;
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
  if (read_raw(block.data(), 1, len, f) != len) return false;
  check_endianness(block.data(), layout, need_swap);
  grow_vertex_arrays(mesh, layout, base + 1);
  decode_vertex(mesh, base, block.data(), layout, need_swap);
  progress_printf("\n  Reading %d vertices... ", nverts);

  // Positions-only records are the array's own layout: they are read in place,
  // in one block when the file proved it holds them all, else in chunks.
  const bool positions_only = len == 12 && layout.pos == 0 && !layout.pos_double;
  const bool size_known = bytes_remaining(f) >= 0;
  const size_t records_per_block =
      positions_only ? (size_known ? total - base : static_cast<size_t>(kChunk))
                     : std::max<size_t>(1, kRecordBlockBytes / len);
  if (!positions_only) block.resize(records_per_block * len);
  size_t done = base + 1;
  while (done < total) {
    size_t n = std::min(total - done, records_per_block);
    grow_vertex_arrays(mesh, layout, done + n);
    if (positions_only) {
      if (read_raw(mesh.vertices[done].data(), 12, n, f) != n) return false;
      if (need_swap)
        for (size_t i = done; i < done + n; i++)
          for (int k = 0; k < 3; k++) swap_bytes_4(&mesh.vertices[i][k]);
    } else {
      if (read_raw(block.data(), len, n, f) != n) return false;
      for (size_t i = 0; i < n; i++) decode_vertex(mesh, done + i, &block[i * len], layout, need_swap);
    }
    done += n;
  }
  return true;
}

namespace {

// The layout of the classic argument list: float32 fields at the given offsets.
VertexLayout float_layout(int vert_len, int vert_pos, int vert_norm, int vert_color,
                          bool float_color, int vert_conf) {
  VertexLayout layout;
  layout.record_len = vert_len;
  layout.pos = vert_pos;
  layout.norm = vert_norm;
  layout.color = vert_color;
  layout.float_color = float_color;
  layout.conf = vert_conf;
  return layout;
}

}  // namespace

bool read_verts_binary(TriMesh& mesh, std::FILE* f, bool& need_swap, int nverts, int vert_len,
                       int vert_pos, int vert_norm, int vert_color, bool float_color,
                       int vert_conf) {
  VertexLayout layout = float_layout(vert_len, vert_pos, vert_norm, vert_color, float_color, vert_conf);
  return read_verts_binary(mesh, f, need_swap, nverts, layout);
}

bool read_verts_ascii(TriMesh& mesh, std::FILE* f, int nverts, const VertexLayout& layout) {
  if (nverts < 1 || layout.record_len < 3 || layout.pos < 0 || !layout_fits(layout, false))
    return false;
  // Each token takes at least one character and one separator.
  if (!input_may_hold(f, 2 * static_cast<int64_t>(nverts) * layout.record_len - 1)) {
    error_printf("Declared %d vertices, more than the rest of the file can hold.\n", nverts);
    return false;
  }
  const size_t base = mesh.vertices.size();
  const size_t total = base + static_cast<size_t>(nverts);
  skip_comments(f);
  progress_printf("\n  Reading %d vertices... ", nverts);

  for (size_t i = base; i < total; i++) {
    if (i == mesh.vertices.size())
      grow_vertex_arrays(mesh, layout, std::min(total, i + static_cast<size_t>(kChunk)));
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
        int r = 255, g = 255, b = 255;
        if (get_char(f) == ' ' && !(scan_int(f, r) && scan_int(f, g) && scan_int(f, b))) {
          error_printf("Couldn't read colour of vertex %d.\n", vertex);
          return false;
        }
        mesh.colors[i] = Color::from_bytes(static_cast<uint8_t>(r), static_cast<uint8_t>(g),
                                           static_cast<uint8_t>(b));
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

bool read_verts_ascii(TriMesh& mesh, std::FILE* f, int nverts, int vert_len, int vert_pos,
                      int vert_norm, int vert_color, bool float_color, int vert_conf) {
  VertexLayout layout = float_layout(vert_len, vert_pos, vert_norm, vert_color, float_color, vert_conf);
  return read_verts_ascii(mesh, f, nverts, layout);
}

bool read_faces_binary(TriMesh& mesh, std::FILE* f, bool need_swap, int nfaces, int face_len,
                       int face_count, int face_idx) {
  if (nfaces < 0 || face_idx < 0 || face_len < 0 || face_count >= face_idx) return false;
  if (nfaces == 0) return true;
  // Every face holds at least its fixed bytes (and 3 indices when there is no count).
  const int64_t min_face_bytes =
      std::max<int64_t>(1, std::max(face_len, face_idx) + (face_count < 0 ? 12 : 0));
  if (!input_may_hold(f, nfaces * min_face_bytes)) {
    error_printf("Declared %d faces, more than the rest of the file can hold.\n", nfaces);
    return false;
  }
  progress_printf("\n  Reading %d faces... ", nfaces);
  const size_t reserve = bytes_remaining(f) >= 0 ? static_cast<size_t>(nfaces)
                                                 : static_cast<size_t>(std::min(nfaces, kChunk));
  mesh.faces.reserve(mesh.faces.size() + reserve);

  const int count_width = face_count < 0 ? 0 : face_idx - face_count;
  const int64_t tail = std::max(0, face_len - face_idx);
  ElementBytes in(f);
  std::vector<unsigned char> head(static_cast<size_t>(face_idx));
  std::vector<int> indices;
  for (int i = 0; i < nfaces; i++) {
    const int64_t later_faces = (static_cast<int64_t>(nfaces) - i - 1) * min_face_bytes;
    if (!in.take(head.data(), head.size(), later_faces + min_face_bytes)) return false;
    int64_t count = 3;
    if (count_width == 4) {
      int32_t c;
      std::memcpy(&c, &head[face_count], 4);
      if (need_swap) swap_bytes_4(&c);
      count = c;
    } else if (count_width == 2) {
      uint16_t c;
      std::memcpy(&c, &head[face_count], 2);
      if (need_swap) swap_bytes_2(&c);
      count = c;
    } else if (count_width > 0) {
      count = head[face_count];
    }
    if (count < 0) {
      error_printf("Face %d declares %lld vertices.\n", i, static_cast<long long>(count));
      return false;
    }
    // Indices in bounded steps: a huge count costs memory only as data arrives.
    indices.clear();
    for (int64_t done = 0; done < count;) {
      const int64_t n = std::min<int64_t>(count - done, kChunk);
      indices.resize(static_cast<size_t>(done + n));
      const int64_t floor = 4 * (count - done) + tail + later_faces;
      if (!in.take(&indices[static_cast<size_t>(done)], static_cast<size_t>(4 * n), floor))
        return false;
      done += n;
    }
    if (need_swap)
      for (int& v : indices) swap_bytes_4(&v);
    add_polygon(mesh, indices.data(), static_cast<int>(indices.size()));
    if (tail > 0 && !in.skip(static_cast<size_t>(tail), tail + later_faces)) return false;
  }
  return true;
}

bool read_faces_ascii(TriMesh& mesh, std::FILE* f, int nfaces, int face_len, int face_count,
                      int face_idx, bool skip_rest_of_line) {
  if (nfaces < 0 || face_idx < 0) return false;
  if (nfaces == 0) return true;
  skip_comments(f);
  progress_printf("\n  Reading %d faces... ", nfaces);
  mesh.faces.reserve(mesh.faces.size() + static_cast<size_t>(std::min(nfaces, kChunk)));

  std::vector<int> indices;
  for (int i = 0; i < nfaces; i++) {
    int count = 3;
    indices.clear();
    // 64-bit so that a huge count cannot overflow the bound; the loop still
    // ends at end of file because every step consumes a token.
    for (int64_t t = 0; t < static_cast<int64_t>(face_len) + count; t++) {
      if (t >= face_idx && t < static_cast<int64_t>(face_idx) + count) {
        int v;
        if (!scan_int(f, v)) {
          error_printf("Couldn't read vertex index %d for face %d\n",
                       static_cast<int>(t - face_idx), i);
          return false;
        }
        indices.push_back(v);
      } else if (t == face_count) {
        if (!scan_int(f, count)) {
          error_printf("Couldn't read vertex count for face %d\n", i);
          return false;
        }
      } else if (!skip_token(f)) {
        return false;
      }
    }
    add_polygon(mesh, indices);
    if (skip_rest_of_line) {
      int c;
      while ((c = get_char(f)) != EOF && c != '\n') {
      }
    }
  }
  return true;
}

void add_polygon(TriMesh& mesh, const int* idx, int count) {
  if (count < 3) return;
  if (count == 3) {
    mesh.faces.emplace_back(idx[0], idx[1], idx[2]);
    return;
  }
  if (count == 4) {
    // Split along the shorter diagonal; 1-3 on a tie or when a corner is not
    // yet a vertex (its position is unknown until the range is remapped).
    int k = 1;
    const int n = static_cast<int>(mesh.vertices.size());
    bool known = true;
    for (int j = 0; j < 4; j++) known = known && idx[j] >= 0 && idx[j] < n;
    if (known) {
      float d02 = dist2(mesh.vertices[idx[0]], mesh.vertices[idx[2]]);
      float d13 = dist2(mesh.vertices[idx[1]], mesh.vertices[idx[3]]);
      k = d13 <= d02 ? 1 : 0;
    }
    mesh.faces.emplace_back(idx[k], idx[(k + 1) % 4], idx[(k + 2) % 4]);
    mesh.faces.emplace_back(idx[k], idx[(k + 2) % 4], idx[(k + 3) % 4]);
    return;
  }
  for (int j = 2; j < count; j++) mesh.faces.emplace_back(idx[0], idx[j - 1], idx[j]);
}

void add_polygon(TriMesh& mesh, const std::vector<int>& indices) {
  add_polygon(mesh, indices.data(), static_cast<int>(indices.size()));
}
