// Removal of faces and vertices, and vertex renumbering, keeping every
// per-vertex array and derived table consistent with the new numbering.
#include <algorithm>

#include "mesh/TriMesh.h"
#include "mesh/connectivity_util.h"
#include "mesh/diagnostics.h"

namespace {

// Moves a per-vertex array to the new numbering: entry i goes to table[i],
// entries mapped to -1 are dropped. An array whose size is not the old vertex
// count is not per-vertex data of this mesh (it is absent or stale): it is
// emptied, so it cannot pass for present under the new count.
template <class T>
void remap_array(std::vector<T>& values, const std::vector<int>& table, size_t new_count) {
  if (values.size() != table.size()) {
    release(values);
    return;
  }
  std::vector<T> moved(new_count);
  for (size_t i = 0; i < table.size(); i++) {
    if (table[i] >= 0) moved[table[i]] = values[i];
  }
  values.swap(moved);
}

// New index of old vertex v, or -1 when v is dropped (any negative table
// entry) or names no vertex.
int32_t remapped(int32_t v, const std::vector<int>& table) {
  return vertex_in_range(v, table.size()) && table[v] >= 0 ? table[v] : -1;
}

// Rewrites faces through the table, dropping every face with a dropped
// corner and keeping the others in order.
void remap_faces(std::vector<Face>& faces, const std::vector<int>& table) {
  size_t kept = 0;
  for (const Face& f : faces) {
    const Face g(remapped(f[0], table), remapped(f[1], table), remapped(f[2], table));
    if (g[0] >= 0 && g[1] >= 0 && g[2] >= 0) faces[kept++] = g;
  }
  faces.resize(kept);
}

// Appends one piece of a strip (indices [begin, end) of the old stream, all
// kept) in terminated form. `odd` tells whether the piece starts at an odd
// position of its strip: its first triangle then runs the other way round, so
// that triangle goes out as a strip of its own and the rest starts one index
// later, where the parity is even again. Pieces too short to hold a triangle
// are dropped. Together this keeps exactly the kept triangles, each with its
// orientation.
void append_piece(const std::vector<int32_t>& old_stream, size_t begin, size_t end, bool odd,
                  const std::vector<int>& table, std::vector<int32_t>& out) {
  if (end - begin < 3) return;
  if (odd) {
    out.insert(out.end(), {table[old_stream[begin + 1]], table[old_stream[begin]],
                           table[old_stream[begin + 2]], -1});
    begin++;
    if (end - begin < 3) return;
  }
  for (size_t i = begin; i < end; i++) out.push_back(table[old_stream[i]]);
  out.push_back(-1);
}

// Rewrites a terminated-form strip stream through the table. A dropped vertex
// splits its strip into the pieces before and after it.
std::vector<int32_t> remap_terminated_strips(const std::vector<int32_t>& stream,
                                             const std::vector<int>& table) {
  // Each piece grows by at most three entries (the split-off triangle), and
  // each piece but a strip's first starts after a dropped vertex.
  size_t bound = stream.size();
  for (int32_t s : stream) {
    if (s != -1 && remapped(s, table) < 0) bound += 3;
  }
  std::vector<int32_t> out;
  out.reserve(bound);

  size_t strip_start = 0, piece_start = 0;
  for (size_t i = 0; i < stream.size(); i++) {
    const bool end_of_strip = stream[i] == -1;
    if (!end_of_strip && remapped(stream[i], table) >= 0) continue;
    append_piece(stream, piece_start, i, (piece_start - strip_start) % 2 == 1, table, out);
    piece_start = i + 1;
    if (end_of_strip) strip_start = i + 1;
  }
  return out;
}

}  // namespace

void TriMesh::remove_faces(const std::vector<bool>& to_remove) {
  const bool had_strips = !tristrips.empty();
  const bool had_faces = !faces.empty();
  need_faces();
  if (faces.empty()) return;

  release(tristrips);
  release(grid);
  grid_width = grid_height = -1;
  vertex_faces.release();
  neighbors.release();
  release(across_edge);
  release(corner_areas);
  release(point_areas);

  progress_printf("Removing faces... ");
  // Entries missing from a short bitmap keep their face.
  size_t kept = 0;
  for (size_t i = 0; i < faces.size(); i++) {
    if (i < to_remove.size() && to_remove[i]) continue;
    faces[kept++] = faces[i];
  }
  const int removed = static_cast<int>(faces.size() - kept);
  faces.resize(kept);
  if (removed == 0) {
    progress_printf("None removed.\n");
    return;
  }
  progress_printf("%d faces removed... Done.\n", removed);
  if (had_strips) need_tristrips();
  // Faces derived for this call go again only when rebuilt strips carry the
  // connectivity; faces derived from the (now discarded) grid are all the
  // connectivity that is left, so they stay.
  if (!had_faces && !tristrips.empty()) release(faces);
  bounding_box.valid = false;
  bounding_sphere.valid = false;
}

void TriMesh::remove_vertices(const std::vector<bool>& to_remove) {
  const size_t nv = vertices.size();
  if (nv == 0) return;
  progress_printf("Removing vertices... ");
  // Entries missing from a short bitmap keep their vertex.
  std::vector<int> table(nv);
  int next = 0, removed = 0;
  for (size_t v = 0; v < nv; v++) {
    if (v < to_remove.size() && to_remove[v]) {
      table[v] = -1;
      removed++;
    } else {
      table[v] = next++;
    }
  }
  if (removed == 0) {
    progress_printf("None removed.\n");
    return;
  }
  remap_verts(table);
  progress_printf("%d vertices removed... Done.\n", removed);
}

void TriMesh::remove_unused_vertices() {
  const size_t nv = vertices.size();
  if (nv == 0) return;
  const bool had_faces = !faces.empty();
  need_faces();
  // A point set has no faces to judge use by: it keeps its points.
  if (faces.empty()) return;

  std::vector<bool> unused(nv, true);
  for (const Face& f : faces) {
    if (!face_in_range(f, nv)) continue;
    unused[f[0]] = unused[f[1]] = unused[f[2]] = false;
  }
  remove_vertices(unused);
  // As in remove_faces: derived faces go again only while strips or a grid
  // still hold the connectivity.
  if (!had_faces && (!tristrips.empty() || !grid.empty())) release(faces);
}

void TriMesh::remap_verts(const std::vector<int>& remap_table) {
  const size_t nv = vertices.size();
  if (remap_table.size() != nv) {
    error_printf("remap_verts called with wrong table size!\n");
    return;
  }
  int max_index = -1;
  for (int r : remap_table) max_index = std::max(max_index, r);
  // New indices beyond the old count would invent vertices out of nothing.
  if (max_index >= static_cast<int>(nv)) {
    error_printf("remap_verts called with an index out of range!\n");
    return;
  }
  if (nv == 0 || max_index < 0) {
    clear();
    return;
  }
  const size_t new_count = static_cast<size_t>(max_index) + 1;

  // Derived data that was present is computed again at the end.
  const bool had_areas = point_areas.size() == nv || !corner_areas.empty();
  const bool had_box = bounding_box.valid;
  const bool had_sphere = bounding_sphere.valid;
  const bool had_neighbors = !neighbors.empty();
  const bool had_vertex_faces = !vertex_faces.empty();
  const bool had_across_edge = !across_edge.empty();
  const bool had_strips = !tristrips.empty();

  // Per-vertex data moves to its new places.
  remap_array(vertices, remap_table, new_count);
  remap_array(colors, remap_table, new_count);
  remap_array(confidences, remap_table, new_count);
  remap_array(flags, remap_table, new_count);
  remap_array(normals, remap_table, new_count);
  remap_array(principal_dir1, remap_table, new_count);
  remap_array(principal_dir2, remap_table, new_count);
  remap_array(principal_curv1, remap_table, new_count);
  remap_array(principal_curv2, remap_table, new_count);
  remap_array(dcurv, remap_table, new_count);

  // Connectivity is rewritten through the table.
  remap_faces(faces, remap_table);
  for (int32_t& cell : grid) cell = remapped(cell, remap_table);
  if (had_strips) {
    const bool was_terminated = tristrips.back() == -1;
    convert_strips(TSTRIP_TERM);
    tristrips = remap_terminated_strips(tristrips, remap_table);
    if (!was_terminated) convert_strips(TSTRIP_LENGTH);
  }

  // Everything derived from the old numbering or the old faces goes, and
  // what had been present is computed anew.
  release(point_areas);
  release(corner_areas);
  neighbors.release();
  vertex_faces.release();
  release(across_edge);
  bounding_box = BoundingBox();
  bounding_sphere = BoundingSphere();
  if (had_areas) need_point_areas();
  if (had_box) need_bounding_box();
  if (had_sphere) need_bounding_sphere();
  if (had_neighbors) need_neighbors();
  if (had_vertex_faces) need_vertex_faces();
  if (had_across_edge) need_across_edge();
  if (had_strips) need_tristrips();
}

void TriMesh::reorder_verts() {
  progress_printf("Reordering vertices... ");
  const size_t nv = vertices.size();
  std::vector<int> table(nv, -1);
  int next = 0;
  auto visit = [&](int32_t v) {
    if (vertex_in_range(v, nv) && table[v] < 0) table[v] = next++;
  };
  if (!grid.empty()) {
    for (int32_t cell : grid) visit(cell);
  } else if (!tristrips.empty()) {
    const bool was_terminated = tristrips.back() == -1;
    convert_strips(TSTRIP_TERM);
    for (int32_t s : tristrips) visit(s);
    if (!was_terminated) convert_strips(TSTRIP_LENGTH);
  } else {
    for (const Face& f : faces) {
      visit(f[0]);
      visit(f[1]);
      visit(f[2]);
    }
  }
  // Vertices no connectivity reaches follow, in their old order.
  for (size_t v = 0; v < nv; v++) {
    if (table[v] < 0) table[v] = next++;
  }
  remap_verts(table);
  progress_printf("Done.\n");
}
