// What the colour search reads about one vertex: its colour-difference
// direction and its colour, side by side in one 32-byte record. A candidate
// of the search then costs one cache line instead of one in each of two
// per-vertex arrays (the search tests many candidates scattered over the
// mesh, and those reads are most of its waiting).
#pragma once

#include <cstddef>
#include <vector>

#include "geometry/Vec.h"

struct alignas(32) ColorRecord {
  point dir;    // unit colour-difference direction (registration/color_dirs.h), or 0
  Color color;  // the vertex colour, as in the mesh
};
static_assert(sizeof(ColorRecord) == 32, "a colour record must be half a cache line");

// records[i] = {dirs[i], colors[i]} for i < n when both arrays hold n
// entries; otherwise `records` is left empty (no colour data to search).
inline void build_color_records(const std::vector<point>& dirs, const std::vector<Color>& colors, size_t n,
                                std::vector<ColorRecord>& records) {
  records.clear();
  if (dirs.size() != n || colors.size() != n) return;
  records.resize(n);
  for (size_t i = 0; i < n; i++) records[i] = ColorRecord{dirs[i], colors[i]};
}
