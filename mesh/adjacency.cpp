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
  neighbors.resize(nv);
  for (size_t v = 0; v < nv; v++) neighbors[v].reserve(counts[v] + 2);

  for (const Face& f : faces) {
    if (!face_in_range(f, nv)) continue;
    for (int j = 0; j < 3; j++) {
      std::vector<int32_t>& list = neighbors[f[j]];
      append_unique(list, f[(j + 1) % 3]);
      append_unique(list, f[(j + 2) % 3]);
    }
  }
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
  for (size_t v = 0; v < nv; v++) vertex_faces[v].reserve(counts[v]);

  const int32_t nf = static_cast<int32_t>(faces.size());
  for (int32_t i = 0; i < nf; i++) {
    const Face& f = faces[i];
    if (!face_in_range(f, nv)) continue;
    vertex_faces[f[0]].push_back(i);
    vertex_faces[f[1]].push_back(i);
    vertex_faces[f[2]].push_back(i);
  }
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

  for (int32_t i = 0; i < nf; i++) {
    const Face& f = faces[i];
    if (!face_in_range(f, nv)) continue;
    for (int j = 0; j < 3; j++) {
      if (across_edge[i][j] != -1) continue;
      const int32_t va = f[(j + 1) % 3];
      const int32_t vb = f[(j + 2) % 3];
      // Only a face that runs along the edge as vb -> va (the opposite
      // direction) is linked, so inconsistently oriented faces stay apart.
      // On an edge shared by more than two faces the first suitable face in
      // vertex_faces order wins, and a later back-link may overwrite an
      // earlier one. A face k of va's list that holds vb right before va
      // (vb at corner p + 2 for va at p) is necessarily in vb's list too, so
      // that test alone decides; no search in vb's list is needed.
      for (int32_t k : vertex_faces[va]) {
        if (k == i || k < 0 || k >= nf) continue;
        const Face& g = faces[k];
        const int p = corner_of(g, va);
        if (p >= 0 && g[(p + 2) % 3] == vb) {
          across_edge[i][j] = k;
          across_edge[k][(p + 1) % 3] = i;
          break;
        }
      }
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
