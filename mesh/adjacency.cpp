// Vertex neighbours, vertex-to-face lists and the across-edge map.
//
// Both per-vertex tables are flat (mesh/AdjacencyTable.h) and built in two
// passes: count every vertex's entries, turn the counts into offsets, then
// fill each list in place, so the whole table is two allocations. The
// vertex-to-face lists are filled in face order; the neighbour lists are
// then read off them vertex by vertex, which gives the order the face loop
// of the definition gives (faces in index order, corners in order) without
// any vertex's list ever growing. Membership tests are linear searches:
// vertex valences of scanned meshes are small (about six), so hashing would
// only cost more.
//
// Faces with a corner outside the vertex array are skipped by all three
// tables: they get no entries in `neighbors` or `vertex_faces`, and their
// `across_edge` entries stay -1.
#include <algorithm>

#include "geometry/large_arrays.h"
#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"
#include "mesh/connectivity_util.h"
#include "mesh/vertex_gather.h"

namespace {

// Below this many vertices per thread a per-vertex loop runs on fewer threads.
constexpr size_t kMinVerticesPerThread = 8192;

// Turns per-list counts held in offsets[1 .. n] into offsets (offsets[0] is
// 0) and returns the total.
size_t sum_counts(AdjacencyTable& table) {
  size_t total = 0;
  for (size_t v = 1; v < table.offsets.size(); v++) {
    total += table.offsets[v];
    table.offsets[v] = total;
  }
  return total;
}

// sum_counts, then sizes the items to the total.
void counts_to_offsets(AdjacencyTable& table) { resize_large(table.items, sum_counts(table)); }

// The vertex-to-face table of the in-range faces: face i once per corner, in
// increasing i.
void build_vertex_faces(const std::vector<Face>& faces, size_t nv, AdjacencyTable& table) {
  assign_large(table.offsets, nv + 1);
  for (const Face& f : faces) {
    if (!face_in_range(f, nv)) continue;
    table.offsets[size_t(f[0]) + 1]++;
    table.offsets[size_t(f[1]) + 1]++;
    table.offsets[size_t(f[2]) + 1]++;
  }
  counts_to_offsets(table);
  // Each thread fills the lists of its own vertices in face order. The
  // cursor of list v is offsets[v] itself (no array of cursors): the fill
  // moves it from the list's start to its end, and a shift by one entry
  // then makes it the start of list v + 1 again.
  size_t* cursor = table.offsets.data();
  int32_t* items = table.items.data();
  gather_faces(faces, nv, [&](size_t i, const VertexRange& range) {
    const Face& f = faces[i];
    if (!face_in_range(f, nv)) return;
    for (int j = 0; j < 3; j++)
      if (range.owns(f[j])) items[cursor[size_t(f[j])]++] = int32_t(i);
  });
  // Every offsets[v] now holds list v's end, which is list v + 1's start.
  std::copy_backward(table.offsets.begin(), table.offsets.end() - 1, table.offsets.end());
  table.offsets[0] = 0;
}

// Calls add(a) then add(b) for the two other corners of every corner of v,
// visiting v's faces (its vertex-face list, increasing, one entry per
// corner) in order and each face's corners in order: the definition's face
// loop restricted to v.
template <typename Add>
void for_each_corner_pair(const std::vector<Face>& faces, const AdjacencyTable::List& vf,
                          int32_t v, const Add& add) {
  int32_t previous = -1;
  for (int32_t i : vf) {
    // A face using v at two corners is listed twice in a row; its corners
    // are all visited at its first entry.
    if (i == previous) continue;
    previous = i;
    const Face& f = faces[size_t(i)];
    for (int j = 0; j < 3; j++) {
      if (f[j] != v) continue;
      add(f[(j + 1) % 3]);
      add(f[(j + 2) % 3]);
    }
  }
}

// Writes v's neighbours, in order of first discovery, to out[0 ..] and
// returns their count. `out` has room for two entries per corner of v.
size_t collect_neighbors(const std::vector<Face>& faces, const AdjacencyTable::List& vf,
                         int32_t v, int32_t* out) {
  size_t n = 0;
  for_each_corner_pair(faces, vf, v, [&](int32_t w) {
    if (std::find(out, out + n, w) == out + n) out[n++] = w;
  });
  return n;
}

// The neighbour table from the vertex-face table. Each thread collects the
// lists of its own vertex range, in order, into a buffer of its own and
// records their lengths; once the offsets are summed, the first range's
// buffer (sized for the whole table) becomes the table's items and the
// others are appended to it, so the lists are written in place once.
void build_neighbors(const std::vector<Face>& faces, const AdjacencyTable& vertex_faces,
                     AdjacencyTable& table) {
  const size_t nv = vertex_faces.size();
  assign_large(table.offsets, nv + 1);
  const size_t ranges =
      std::max<size_t>(1, std::min<size_t>(size_t(thread_count()), nv / kMinVerticesPerThread));
  std::vector<std::vector<int32_t>> collected(ranges);
  parallel_for(ranges, 1, [&](size_t r) {
    const size_t lo = nv * r / ranges, hi = nv * (r + 1) / ranges;
    std::vector<int32_t>& out = collected[r];
    // At most two entries per corner of each of the range's vertices.
    const size_t first = r == 0 ? 0 : lo, last = r == 0 ? nv : hi;
    reserve_large(out, 2 * (vertex_faces.offsets[last] - vertex_faces.offsets[first]));
    for (size_t v = lo; v < hi; v++) {
      const AdjacencyTable::List vf = vertex_faces[v];
      const size_t start = out.size();
      out.resize(start + 2 * vf.size());
      const size_t n = collect_neighbors(faces, vf, int32_t(v), out.data() + start);
      out.resize(start + n);
      table.offsets[v + 1] = n;
    }
  });
  sum_counts(table);
  table.items = std::move(collected[0]);
  for (size_t r = 1; r < ranges; r++)
    table.items.insert(table.items.end(), collected[r].begin(), collected[r].end());
}

// The face across edge j of face i by the rule of need_across_edge: the first
// face k != i of va's list that runs along the edge as vb -> va, or -1. It
// reads only faces and vertex_faces, so every (i, j) can be searched
// independently.
int32_t across_candidate(const std::vector<Face>& faces, const AdjacencyTable& vertex_faces,
                         int32_t i, int j) {
  const int32_t nf = static_cast<int32_t>(faces.size());
  const Face& f = faces[i];
  const int32_t va = f[(j + 1) % 3];
  const int32_t vb = f[(j + 2) % 3];
  // A face k of va's list that holds vb right before va (vb at corner p + 2
  // for va at p) is necessarily in vb's list too, so that test alone
  // decides; no search in vb's list is needed.
  for (int32_t k : vertex_faces[size_t(va)]) {
    if (k == i || k < 0 || k >= nf) continue;
    const Face& g = faces[k];
    const int p = corner_of(g, va);
    if (p >= 0 && g[(p + 2) % 3] == vb) return k;
  }
  return -1;
}

}  // namespace

AdjacencyTable AdjacencyTable::from_lists(const std::vector<std::vector<int32_t>>& lists) {
  AdjacencyTable table;
  table.offsets.assign(lists.size() + 1, 0);
  for (size_t v = 0; v < lists.size(); v++) table.offsets[v + 1] = lists[v].size();
  counts_to_offsets(table);
  for (size_t v = 0; v < lists.size(); v++)
    std::copy(lists[v].begin(), lists[v].end(), table.items.begin() + table.offsets[v]);
  return table;
}

void TriMesh::need_neighbors() {
  if (!neighbors.empty()) return;
  need_faces();
  if (faces.empty()) return;

  progress_printf("Finding vertex neighbors... ");
  const size_t nv = vertices.size();
  // The mesh's own vertex-face table when it is there; otherwise one made
  // for this call and dropped (building the mesh's would print its own
  // progress line, which only need_vertex_faces prints).
  if (vertex_faces.size() == nv) {
    build_neighbors(faces, vertex_faces, neighbors);
  } else {
    AdjacencyTable own;
    build_vertex_faces(faces, nv, own);
    build_neighbors(faces, own, neighbors);
  }
  progress_printf("Done.\n");
}

void TriMesh::need_vertex_faces() {
  if (!vertex_faces.empty()) return;
  need_faces();
  if (faces.empty()) return;

  progress_printf("Finding vertex to triangle maps... ");
  build_vertex_faces(faces, vertices.size(), vertex_faces);
  progress_printf("Done.\n");
}

void TriMesh::need_across_edge() {
  if (!across_edge.empty()) return;
  const size_t nv = vertices.size();
  // Lists left over from another vertex array would send the walk astray.
  if (!vertex_faces.empty() && vertex_faces.size() != nv) vertex_faces.release();
  need_vertex_faces();
  if (vertex_faces.empty()) return;

  progress_printf("Finding across-edge maps... ");
  const int32_t nf = static_cast<int32_t>(faces.size());
  assign_large(across_edge, size_t(nf), Face(-1, -1, -1));

  // The searches run in parallel into one slot per (face, edge); the links
  // are then made in face order exactly as a single loop would make them,
  // since whether an entry is still -1 depends on the links made before it.
  std::vector<Face> found;
  assign_large(found, size_t(nf), Face(-1, -1, -1));
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
  return neighbors.count(size_t(v)) != vertex_faces.count(size_t(v));
}
