// Per-vertex sums over the faces of a mesh, spread over the threads with
// results identical to the sequential face loop.
//
// Each thread owns a contiguous range of vertex indices, walks every face in
// index order and adds a face's contributions only to the corners it owns.
// Every per-vertex sum therefore receives its terms in face order, whatever
// the thread count, and no two threads write the same vertex. A face whose
// corners fall into two ranges is evaluated by both threads; scans number
// their vertices along the surface, so such faces are few.
#pragma once

#include <cassert>
#include <cstdint>
#include <vector>

#include "geometry/parallel.h"
#include "mesh/TriMesh.h"

// The vertex indices one thread may write.
struct VertexRange {
  int32_t lo = 0, hi = 0;
  bool owns(int32_t v) const { return v >= lo && v < hi; }
  bool owns_any(const Face& f) const { return owns(f[0]) || owns(f[1]) || owns(f[2]); }
};

// Below this many vertices per thread the walk runs on fewer threads.
constexpr size_t kMinGatherVertices = 8192;

// Calls body(range) once per thread with that thread's vertex range; the
// ranges cover [0, num_vertices) in order.
template <typename Body>
void for_vertex_ranges(size_t num_vertices, const Body& body) {
  parallel_ranges(num_vertices, kMinGatherVertices, [&](size_t lo, size_t hi) {
    body(VertexRange{int32_t(lo), int32_t(hi)});
  });
}

// Calls body(face_index, range) for every face, in index order, that has a
// corner in the calling thread's range.
template <typename Body>
void gather_faces(const std::vector<Face>& faces, size_t num_vertices, const Body& body) {
  for_vertex_ranges(num_vertices, [&](const VertexRange& range) {
    const size_t nf = faces.size();
    for (size_t i = 0; i < nf; i++)
      if (range.owns_any(faces[i])) body(i, range);
  });
}

// gather_faces in groups, for per-face work done four faces at a time:
// calls body(group, count, range) with the indices of up to four faces (in
// index order; fewer only in a thread's last group) that have a corner in
// the calling thread's range and that `keep` accepts.
template <typename Keep, typename Body>
void gather_face_groups(const std::vector<Face>& faces, size_t num_vertices, const Keep& keep,
                        const Body& body) {
  assert(faces.size() <= size_t(INT32_MAX));  // the readers refuse larger counts
  for_vertex_ranges(num_vertices, [&](const VertexRange& range) {
    int32_t group[4];
    int count = 0;
    const size_t nf = faces.size();
    for (size_t i = 0; i < nf; i++) {
      if (!range.owns_any(faces[i]) || !keep(i)) continue;
      group[count++] = int32_t(i);
      if (count == 4) {
        body(group, count, range);
        count = 0;
      }
    }
    if (count > 0) body(group, count, range);
  });
}
