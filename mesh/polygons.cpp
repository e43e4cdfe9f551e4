// Polygon triangulation: how a face list's polygons become triangles.
#include "mesh/mesh_io.h"

void add_polygon(TriMesh& mesh, const int* idx, int count) {
  if (count < 3) return;
  if (count == 3) {
    mesh.faces.emplace_back(idx[0], idx[1], idx[2]);
    return;
  }
  if (count == 4) {
    // Split along the shorter diagonal; 1-3 on a tie or when a corner is not
    // yet a vertex (its position is unknown until the range is remapped).
    int k = 1;
    const int n = static_cast<int>(mesh.vertices.size());
    bool known = true;
    for (int j = 0; j < 4; j++) known = known && idx[j] >= 0 && idx[j] < n;
    if (known) {
      float d02 = dist2(mesh.vertices[idx[0]], mesh.vertices[idx[2]]);
      float d13 = dist2(mesh.vertices[idx[1]], mesh.vertices[idx[3]]);
      k = d13 <= d02 ? 1 : 0;
    }
    mesh.faces.emplace_back(idx[k], idx[(k + 1) % 4], idx[(k + 2) % 4]);
    mesh.faces.emplace_back(idx[k], idx[(k + 2) % 4], idx[(k + 3) % 4]);
    return;
  }
  for (int j = 2; j < count; j++) mesh.faces.emplace_back(idx[0], idx[j - 1], idx[j]);
}

void add_polygon(TriMesh& mesh, const std::vector<int>& indices) {
  add_polygon(mesh, indices.data(), static_cast<int>(indices.size()));
}
