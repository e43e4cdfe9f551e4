// Vertex neighbours, vertex-to-face lists and the across-edge map.
//
// Both per-vertex tables are built in two passes: count the face corners at
// each vertex, reserve, then fill, so no list reallocates while it is filled
// on a manifold mesh. Membership tests are linear searches: vertex valences
// of scanned meshes are small (about six), so hashing would only cost more.
//
// Faces with a corner outside the vertex array are skipped by all three
// tables: they get no entries in `neighbors` or `vertex_faces`, and their
// `across_edge` entries stay -1.
#include <algorithm>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"
#include "mesh/connectivity_util.h"
#include "mesh/vertex_gather.h"

namespace {

// Number of face corners at each vertex, over the faces whose corners are all
// valid vertex indices.
std::vector<int32_t> corner_counts(const std::vector<Face>& faces, size_t num_vertices) {
  std::vector<int32_t> counts(num_vertices, 0);
  for (const Face& f : faces) {
    if (!face_in_range(f, num_vertices)) continue;
    counts[f[0]]++;
    counts[f[1]]++;
    counts[f[2]]++;
  }
  return counts;
}

void append_unique(std::vector<int32_t>& list, int32_t v) {
  if (std::find(list.begin(), list.end(), v) == list.end()) list.push_back(v);
}

// gather_faces over the faces whose corners are all valid vertex indices.
template <typename Body>
void gather_faces_in_range(const std::vector<Face>& faces, size_t nv, const Body& body) {
  gather_faces(faces, nv, [&](size_t i, const VertexRange& range) {
    if (face_in_range(faces[i], nv)) body(i, range);
  });
}

// The face across edge j of face i by the rule of need_across_edge: the first
// face k != i of va's list that runs along the edge as vb -> va, or -1. It
// reads only faces and vertex_faces, so every (i, j) can be searched
// independently.
int32_t across_candidate(const std::vector<Face>& faces,
                         const std::vector<std::vector<int32_t>>& vertex_faces, int32_t i, int j) {
  const int32_t nf = static_cast<int32_t>(faces.size());
  const Face& f = faces[i];
  const int32_t va = f[(j + 1) % 3];
  const int32_t vb = f[(j + 2) % 3];
  // A face k of va's list that holds vb right before va (vb at corner p + 2
  // for va at p) is necessarily in vb's list too, so that test alone
  // decides; no search in vb's list is needed.
  for (int32_t k : vertex_faces[va]) {
    if (k == i || k < 0 || k >= nf) continue;
    const Face& g = faces[k];
    const int p = corner_of(g, va);
    if (p >= 0 && g[(p + 2) % 3] == vb) return k;
  }
  return -1;
}

}  // namespace

void TriMesh::need_neighbors() {
  if (!neighbors.empty()) return;
  need_faces();
  if (faces.empty()) return;

  progress_printf("Finding vertex neighbors... ");
  const size_t nv = vertices.size();
  const std::vector<int32_t> counts = corner_counts(faces, nv);
  // A manifold vertex with c incident faces has c (interior) or c + 1
  // (boundary) neighbours, so c + 2 is room enough without regrowth.
  // Each thread fills the lists of its own vertices in face order.
  neighbors.resize(nv);
  gather_faces_in_range(faces, nv, [&](size_t i, const VertexRange& range) {
    const Face& f = faces[i];
    for (int j = 0; j < 3; j++) {
      if (!range.owns(f[j])) continue;
      std::vector<int32_t>& list = neighbors[f[j]];
      if (list.capacity() == 0) list.reserve(counts[f[j]] + 2);
      append_unique(list, f[(j + 1) % 3]);
      append_unique(list, f[(j + 2) % 3]);
    }
  });
  progress_printf("Done.\n");
}

void TriMesh::need_vertex_faces() {
  if (!vertex_faces.empty()) return;
  need_faces();
  if (faces.empty()) return;

  progress_printf("Finding vertex to triangle maps... ");
  const size_t nv = vertices.size();
  const std::vector<int32_t> counts = corner_counts(faces, nv);
  vertex_faces.resize(nv);
  gather_faces_in_range(faces, nv, [&](size_t i, const VertexRange& range) {
    const Face& f = faces[i];
    for (int j = 0; j < 3; j++) {
      if (!range.owns(f[j])) continue;
      std::vector<int32_t>& list = vertex_faces[f[j]];
      if (list.capacity() == 0) list.reserve(counts[f[j]]);
      list.push_back(static_cast<int32_t>(i));
    }
  });
  progress_printf("Done.\n");
}

void TriMesh::need_across_edge() {
  if (!across_edge.empty()) return;
  const size_t nv = vertices.size();
  // Lists left over from another vertex array would send the walk astray.
  if (!vertex_faces.empty() && vertex_faces.size() != nv) release(vertex_faces);
  need_vertex_faces();
  if (vertex_faces.empty()) return;

  progress_printf("Finding across-edge maps... ");
  const int32_t nf = static_cast<int32_t>(faces.size());
  across_edge.assign(nf, Face(-1, -1, -1));

  // The searches run in parallel into one slot per (face, edge); the links
  // are then made in face order exactly as a single loop would make them,
  // since whether an entry is still -1 depends on the links made before it.
  std::vector<Face> found(static_cast<size_t>(nf), Face(-1, -1, -1));
  parallel_for(static_cast<size_t>(nf), 4096, [&](size_t fi) {
    const int32_t i = static_cast<int32_t>(fi);
    if (!face_in_range(faces[i], nv)) return;
    for (int j = 0; j < 3; j++) found[fi][j] = across_candidate(faces, vertex_faces, i, j);
  });
  // Only a face that runs along the edge as vb -> va (the opposite
  // direction) is linked, so inconsistently oriented faces stay apart. On an
  // edge shared by more than two faces the first suitable face in
  // vertex_faces order wins, and a later back-link may overwrite an earlier
  // one.
  for (int32_t i = 0; i < nf; i++) {
    for (int j = 0; j < 3; j++) {
      const int32_t k = found[i][j];
      if (across_edge[i][j] != -1 || k < 0) continue;
      const int p = corner_of(faces[k], faces[i][(j + 1) % 3]);
      across_edge[i][j] = k;
      across_edge[k][(p + 1) % 3] = i;
    }
  }
  progress_printf("Done.\n");
}

bool TriMesh::is_boundary(int v) {
  if (neighbors.empty()) need_neighbors();
  if (vertex_faces.empty()) need_vertex_faces();
  // A point set has no tables, and an index outside them names no vertex:
  // neither lies on a boundary.
  if (v < 0 || static_cast<size_t>(v) >= neighbors.size() ||
      static_cast<size_t>(v) >= vertex_faces.size()) {
    return false;
  }
  return neighbors[v].size() != vertex_faces[v].size();
}
