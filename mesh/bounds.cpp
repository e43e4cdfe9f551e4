// Bounding box and bounding sphere of the vertex positions.

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"
#include "mesh/min_sphere.h"

namespace {

// Index of the first vertex with finite coordinates, or the count if none.
size_t first_finite(const std::vector<point>& verts) {
  size_t i = 0;
  while (i < verts.size() && !is_finite(verts[i])) i++;
  return i;
}

}  // namespace

void TriMesh::need_bounding_box() {
  if (bounding_box.valid) return;
  // Start from the first finite vertex: a NaN start would never be replaced,
  // since every comparison with NaN is false.
  const size_t first = first_finite(vertices);
  if (first == vertices.size()) return;

  progress_printf("Computing bounding box... ");
  BoundingBox& box = bounding_box;
  box.min = box.max = vertices[first];
  box.valid = true;
  for (size_t i = first + 1; i < vertices.size(); i++) {
    const point& p = vertices[i];
    if (!is_finite(p)) continue;
    for (int j = 0; j < 3; j++) {
      if (p[j] < box.min[j]) box.min[j] = p[j];
      if (p[j] > box.max[j]) box.max[j] = p[j];
    }
  }
  progress_printf("Done.\n  x = %g .. %g, y = %g .. %g, z = %g .. %g\n", box.min.x, box.max.x,
                  box.min.y, box.max.y, box.min.z, box.max.z);
}

void TriMesh::need_bounding_sphere() {
  if (bounding_sphere.valid || first_finite(vertices) == vertices.size()) return;

  progress_printf("Computing bounding sphere... ");
  BoundingSphere& s = bounding_sphere;
  s.valid = smallest_enclosing_sphere(vertices, s.center, s.radius);
  progress_printf("Done.\n  center = (%g, %g, %g), radius = %g\n", s.center.x, s.center.y,
                  s.center.z, s.radius);
}
