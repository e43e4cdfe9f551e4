// Face records, binary and ascii: each face's index list (and the other
// properties around it, skipped) at the offsets a FaceLayout gives; every
// polygon goes through add_polygon.
#include <algorithm>
#include <cstring>

#include "geometry/large_arrays.h"
#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

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

bool faces_end_early(int face) {
  error_printf("Unexpected end of file in face %d.\n", face);
  return false;
}

}  // namespace

bool read_faces_binary(TriMesh& mesh, std::FILE* f, bool need_swap, int nfaces,
                       const FaceLayout& layout) {
  const int face_len = layout.record_len, face_count = layout.count, face_idx = layout.first_index;
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
  const size_t reserve = bytes_remaining(f) >= 0
                             ? static_cast<size_t>(nfaces)
                             : static_cast<size_t>(std::min(nfaces, kGrowthChunk));
  reserve_large(mesh.faces, mesh.faces.size() + reserve);

  const int count_width = face_count < 0 ? 0 : face_idx - face_count;
  const int64_t tail = std::max(0, face_len - face_idx);
  ElementBytes in(f);
  std::vector<unsigned char> head(static_cast<size_t>(face_idx));
  std::vector<int> indices;
  for (int i = 0; i < nfaces; i++) {
    const int64_t later_faces = (static_cast<int64_t>(nfaces) - i - 1) * min_face_bytes;
    if (!in.take(head.data(), head.size(), later_faces + min_face_bytes)) return faces_end_early(i);
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
      const int64_t n = std::min<int64_t>(count - done, kGrowthChunk);
      indices.resize(static_cast<size_t>(done + n));
      const int64_t floor = 4 * (count - done) + tail + later_faces;
      if (!in.take(&indices[static_cast<size_t>(done)], static_cast<size_t>(4 * n), floor))
        return faces_end_early(i);
      done += n;
    }
    if (need_swap)
      for (int& v : indices) swap_bytes_4(&v);
    add_polygon(mesh, indices.data(), static_cast<int>(indices.size()));
    if (tail > 0 && !in.skip(static_cast<size_t>(tail), tail + later_faces)) return faces_end_early(i);
  }
  return true;
}

bool read_faces_ascii(TriMesh& mesh, std::FILE* f, int nfaces, const FaceLayout& layout) {
  const int face_len = layout.record_len, face_count = layout.count, face_idx = layout.first_index;
  if (nfaces < 0 || face_idx < 0) return false;
  if (nfaces == 0) return true;
  skip_comments(f);
  progress_printf("\n  Reading %d faces... ", nfaces);
  mesh.faces.reserve(mesh.faces.size() + static_cast<size_t>(std::min(nfaces, kGrowthChunk)));

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
        if (count < 0) {
          error_printf("Face %d declares %d vertices.\n", i, count);
          return false;
        }
      } else if (!skip_token(f)) {
        return false;
      }
    }
    add_polygon(mesh, indices);
    if (layout.line_per_face) {
      int c;
      while ((c = get_char(f)) != EOF && c != '\n') {
      }
    }
  }
  return true;
}
