// Binary STL reader: an 80-byte header, a little-endian uint32 facet count,
// then 50 bytes per facet (normal, three corners, attribute word). Every
// facet brings its own three vertices; nothing is shared.
#include <cstdint>
#include <cstring>

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

}  // namespace

bool read_stl(TriMesh& mesh, std::FILE* f) {
  unsigned char header[kHeaderBytes + 4];
  if (std::fread(header, 1, sizeof header, f) != sizeof header) return false;
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
    if (std::fread(facet, 1, kFacetBytes, f) != kFacetBytes) return false;
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
