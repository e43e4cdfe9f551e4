// Small helpers shared by the connectivity operations (adjacency, strips,
// grids, removal). Readers reject files whose indices point past the vertex
// array, but a caller can still hand a mesh such data; the range checks let
// every connectivity operation skip such entries instead of reading out of
// bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "mesh/TriMesh.h"

// True when `v` is a valid index into an array of `count` vertices.
inline bool vertex_in_range(int32_t v, size_t count) {
  return v >= 0 && static_cast<size_t>(v) < count;
}

// True when all three corners of `f` are valid indices for `count` vertices.
inline bool face_in_range(const Face& f, size_t count) {
  return vertex_in_range(f[0], count) && vertex_in_range(f[1], count) &&
         vertex_in_range(f[2], count);
}

// The first corner (0, 1, 2) of `f` that holds vertex `v`, or -1.
inline int corner_of(const Face& f, int32_t v) {
  return f[0] == v ? 0 : f[1] == v ? 1 : f[2] == v ? 2 : -1;
}

// Empties `v` and returns its memory (clear() would keep the capacity, which
// for a discarded table of a multi-million-vertex scan is a lot to hold on to).
template <class T>
void release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}
