// Range-scanner reader for files that begin with the bytes "VIVID": a
// 132-byte header, a big-endian int32 vertex count, big-endian float64
// positions, a big-endian int32 face count and faces as (int32 count,
// int32 indices) records.
#include <cstdint>
#include <cstring>

#include "mesh/byte_order.h"
#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

// The dispatcher has consumed the five magic bytes of the 132-byte header.
constexpr int kHeaderRest = 127;
constexpr int kVertexBytes = 24;

int32_t be_i32(const unsigned char* b) {
  const uint32_t u =
      uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | uint32_t{b[3]};
  return static_cast<int32_t>(u);
}

double be_f64(const unsigned char* b) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; i++) bits = bits << 8 | b[i];
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

bool read_count(std::FILE* f, int32_t& count) {
  unsigned char b[4];
  if (std::fread(b, 1, 4, f) != 4) return false;
  count = be_i32(b);
  return true;
}

}  // namespace

bool read_vivid(TriMesh& mesh, std::FILE* f) {
  unsigned char header[kHeaderRest];
  int32_t nverts;
  if (std::fread(header, 1, kHeaderRest, f) != kHeaderRest || !read_count(f, nverts) ||
      nverts < 0) {
    error_printf("Couldn't read vertex count.\n");
    return false;
  }
  if (!input_may_hold(f, int64_t{nverts} * kVertexBytes)) {
    error_printf("Declared %d vertices, more than the rest of the file can hold.\n", nverts);
    return false;
  }
  progress_printf("\n  Reading %d vertices... ", nverts);
  if (bytes_remaining(f) >= 0) mesh.vertices.reserve(mesh.vertices.size() + nverts);
  unsigned char record[kVertexBytes];
  for (int32_t i = 0; i < nverts; i++) {
    if (std::fread(record, 1, kVertexBytes, f) != kVertexBytes) {
      error_printf("Couldn't read vertex.\n");
      return false;
    }
    mesh.vertices.emplace_back(static_cast<float>(be_f64(record)),
                               static_cast<float>(be_f64(record + 8)),
                               static_cast<float>(be_f64(record + 16)));
  }

  int32_t nfaces;
  if (!read_count(f, nfaces)) {
    error_printf("Couldn't read face count.\n");
    return false;
  }
  // Big-endian data: swapped exactly when the host is little-endian.
  FaceLayout polygons;  // an int32 count, then the indices
  polygons.record_len = 4;
  polygons.count = 0;
  polygons.first_index = 4;
  return read_faces_binary(mesh, f, host_is_little_endian(), nfaces, polygons);
}
