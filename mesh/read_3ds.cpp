// Reader of the chunked 3DS layout: positions and triangles of every
// triangle-mesh object; materials, cameras and all other chunks are skipped.
//
// Every chunk starts with a little-endian uint16 id and a uint32 length that
// counts its 6 header bytes. The containers (main, editor, object, mesh) are
// entered rather than skipped, so their children are read as chunks in turn.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "mesh/byte_order.h"
#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

enum ChunkId : uint16_t {
  MAIN = 0x4D4D,
  EDITOR = 0x3D3D,
  OBJECT = 0x4000,
  TRIANGLE_MESH = 0x4100,
  VERTEX_LIST = 0x4110,
  FACE_LIST = 0x4120,
};
constexpr int kChunkHeaderBytes = 6;
constexpr int kFaceBytes = 8;
constexpr size_t kSkipBlock = 1 << 16;

uint16_t le_u16(const unsigned char* b) { return static_cast<uint16_t>(b[0] | b[1] << 8); }
uint32_t le_u32(const unsigned char* b) {
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

// Reads forward through the stream, counting bytes, so that the end of every
// chunk seen is known without seeking (standard input works too).
class ChunkReader {
 public:
  explicit ChunkReader(std::FILE* f) : f_(f) {}
  bool bytes(void* dst, size_t n) {
    const size_t got = std::fread(dst, 1, n, f_);
    pos_ += got;
    return got == n;
  }
  bool u16(uint16_t& value) {
    unsigned char b[2];
    if (!bytes(b, 2)) return false;
    value = le_u16(b);
    return true;
  }
  bool skip(uint64_t n) {
    unsigned char block[kSkipBlock];
    while (n > 0) {
      const size_t step = static_cast<size_t>(std::min<uint64_t>(n, kSkipBlock));
      if (!bytes(block, step)) return false;
      n -= step;
    }
    return true;
  }
  // Counts bytes that another reader took from the stream.
  void advance(uint64_t n) { pos_ += n; }
  uint64_t pos() const { return pos_; }
  std::FILE* file() const { return f_; }

 private:
  std::FILE* f_;
  uint64_t pos_ = 0;
};

bool read_vertex_list(TriMesh& mesh, ChunkReader& in) {
  uint16_t count;
  if (!in.u16(count)) return false;
  if (count == 0) return true;
  bool need_swap = !host_is_little_endian();
  if (!read_verts_binary(mesh, in.file(), need_swap, count, VertexLayout::positions_only(12)))
    return false;
  in.advance(uint64_t{count} * 12);
  return true;
}

// Faces index the vertices of their own object, which precede them; an index
// past those is rejected here because no later remapping could place it.
bool read_face_list(TriMesh& mesh, ChunkReader& in, int32_t base) {
  uint16_t count;
  if (!in.u16(count)) return false;
  progress_printf("\n  Reading %d faces... ", count);
  const int64_t nverts = static_cast<int64_t>(mesh.vertices.size());
  unsigned char record[kFaceBytes];
  for (int i = 0; i < count; i++) {
    if (!in.bytes(record, kFaceBytes)) return false;
    Face face(base + le_u16(record), base + le_u16(record + 2), base + le_u16(record + 4));
    for (int j = 0; j < 3; j++) {
      if (face[j] >= nverts) {
        error_printf("Face %d refers to vertex %d of an object with %d vertices.\n", i,
                     face[j] - base, static_cast<int>(nverts - base));
        return false;
      }
    }
    mesh.faces.push_back(face);
  }
  return true;
}

}  // namespace

bool read_3ds(TriMesh& mesh, std::FILE* f) {
  ChunkReader in(f);
  int32_t base = static_cast<int32_t>(mesh.vertices.size());
  // The furthest end of any chunk seen: a file ending before it is truncated.
  uint64_t required_end = 0;
  for (;;) {
    const uint64_t start = in.pos();
    unsigned char header[kChunkHeaderBytes];
    if (!in.bytes(header, kChunkHeaderBytes)) {
      // End of file exactly between chunks ends the read; inside a header it fails.
      if (in.pos() == start && !std::ferror(f)) break;
      error_printf("The file ends inside a chunk header.\n");
      return false;
    }
    const uint16_t id = le_u16(header);
    const uint32_t length = le_u32(header + 2);
    if (length < kChunkHeaderBytes) {
      error_printf("Chunk 0x%04X is shorter than its own header.\n", id);
      return false;
    }
    required_end = std::max(required_end, start + length);
    switch (id) {
      case MAIN:
      case EDITOR:
        break;
      case OBJECT: {
        unsigned char c = 1;
        while (c != 0) {
          if (!in.bytes(&c, 1)) {
            error_printf("The file ends inside an object name.\n");
            return false;
          }
        }
        break;
      }
      case TRIANGLE_MESH:
        base = static_cast<int32_t>(mesh.vertices.size());
        break;
      case VERTEX_LIST:
        if (!read_vertex_list(mesh, in)) return false;
        break;
      case FACE_LIST:
        if (!read_face_list(mesh, in, base)) return false;
        break;
      default:
        if (!input_may_hold(f, length - kChunkHeaderBytes) ||
            !in.skip(length - kChunkHeaderBytes)) {
          error_printf("Chunk 0x%04X runs past the end of the file.\n", id);
          return false;
        }
        break;
    }
  }
  if (in.pos() < required_end) {
    error_printf("The file ends inside a chunk.\n");
    return false;
  }
  return true;
}
