// The PLY connectivity elements other than faces: a range grid (one index
// list per cell of a rows x columns scan) and triangle strips (one index
// list in terminated form). Both read int32 indices through the shared
// forward input helpers.
#include <cstdint>
#include <vector>

#include "mesh/diagnostics.h"
#include "mesh/mesh_io.h"

namespace {

// One int32 of the body: four bytes in the file's order (`need_swap` when it
// is not the host's) or one ascii token.
bool read_index(std::FILE* f, bool binary, bool need_swap, int32_t& v) {
  if (!binary) return scan_int(f, v);
  if (read_raw(&v, 4, 1, f) != 1) return false;
  if (need_swap) swap_bytes_4(&v);
  return true;
}

// A grid cell's index count: one unsigned byte or one ascii token.
bool read_cell_count(std::FILE* f, bool binary, int& n) {
  if (!binary) return scan_int(f, n);
  const int byte = get_char(f);
  if (byte == EOF) return false;
  n = byte;
  return true;
}

// Fails for a cell index outside -1 .. nv - 1; empties a cell whose sample
// has no finite position (it is left out of the triangulation like an empty
// cell).
bool check_grid(TriMesh& mesh) {
  const int nv = static_cast<int>(mesh.vertices.size());
  for (size_t c = 0; c < mesh.grid.size(); c++) {
    const int v = mesh.grid[c];
    if (v < -1 || v >= nv) {
      error_printf("Range grid cell %d holds vertex %d, outside 0 .. %d.\n", static_cast<int>(c), v,
                   nv - 1);
      return false;
    }
    if (v >= 0 && !is_finite(mesh.vertices[static_cast<size_t>(v)])) mesh.grid[c] = -1;
  }
  return true;
}

// Checks the terminated strip stream against the vertex range and drops
// strips of fewer than three indices (they hold no triangle, and a length
// below 2 would make the length-prefixed form count negative triangles).
bool tidy_strips(TriMesh& mesh) {
  std::vector<int>& s = mesh.tristrips;
  if (s.empty()) return true;
  const int nv = static_cast<int>(mesh.vertices.size());
  if (s.back() != -1) {
    error_printf("Triangle strips do not end with -1.\n");
    return false;
  }
  size_t out = 0, start = 0;
  for (size_t i = 0; i < s.size(); i++) {
    int v = s[i];
    if (v < -1 || v >= nv) {
      error_printf("Triangle strip entry %d holds vertex %d, outside 0 .. %d.\n", static_cast<int>(i),
                   v, nv - 1);
      return false;
    }
    s[out++] = v;
    if (v == -1) {
      if (out - start < 4) out = start;  // fewer than 3 indices before the -1
      start = out;
    }
  }
  s.resize(out);
  return true;
}

}  // namespace

bool read_ply_grid(TriMesh& mesh, std::FILE* f, bool binary, bool need_swap, int ngrid) {
  const int64_t cells = ngrid;
  // Every cell takes at least one byte (binary) or one token and a separator.
  if (!input_may_hold(f, binary ? cells : 2 * cells - 1)) {
    error_printf("Declared %d grid cells, more than the rest of the file can hold.\n", ngrid);
    return false;
  }
  progress_printf("\n  Reading range grid... ");
  mesh.grid.clear();
  for (int64_t c = 0; c < cells; c++) {
    // Cells are allocated a chunk at a time ahead of the data.
    if (c == static_cast<int64_t>(mesh.grid.size()))
      mesh.grid.resize(static_cast<size_t>(c + (cells - c < kGrowthChunk ? cells - c : kGrowthChunk)),
                       -1);
    int n = 0;
    if (!read_cell_count(f, binary, n)) return false;
    // A cell with several indices keeps the last.
    for (int k = 0; k < n; k++) {
      int32_t v;
      if (!read_index(f, binary, need_swap, v)) return false;
      mesh.grid[static_cast<size_t>(c)] = v;
    }
  }
  return check_grid(mesh);
}

bool read_ply_strips(TriMesh& mesh, std::FILE* f, bool binary, bool need_swap) {
  int count = 0;
  if (!binary) skip_comments(f);
  if (!read_index(f, binary, need_swap, count)) return false;
  if (count < 0 || !input_may_hold(f, binary ? 4 * static_cast<int64_t>(count)
                                              : 2 * static_cast<int64_t>(count) - 1)) {
    error_printf("Declared %d triangle strip entries, more than the rest of the file can hold.\n",
                 count);
    return false;
  }
  progress_printf("\n  Reading triangle strips... ");
  std::vector<int>& s = mesh.tristrips;
  if (!binary) skip_comments(f);
  for (int i = 0; i < count; i++) {
    int v;
    if (!read_index(f, binary, need_swap, v)) return false;
    s.push_back(v);
  }
  return tidy_strips(mesh);
}
