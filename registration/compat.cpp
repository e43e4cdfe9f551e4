#include "registration/compat.h"

#include <cassert>
#include <cmath>

#include "mesh/TriMesh.h"

namespace {

// Vertex index of a candidate pointer; the tree must have been built over
// `mesh`'s vertex array (a caller's contract, not a property of the data).
int candidate_index(const float* p, const TriMesh& mesh) {
  int i = KDtree::index_of(p, mesh.vertices);
  assert(i >= 0 && static_cast<std::size_t>(i) < mesh.vertices.size());
  return i;
}

}  // namespace

bool NormCompat::operator()(const float* p) const {
  const int i = candidate_index(p, *mesh);
  if (boundary ? boundary[i] != 0 : mesh->is_boundary(i)) return true;
  if (mesh->normals.size() != mesh->vertices.size()) return false;
  return dot(normal, mesh->normals[i]) > min_dot;
}

bool ColorCompat::operator()(const float* p) const {
  const int i = candidate_index(p, *mesh);
  if (!dirs || mesh->colors.size() != mesh->vertices.size()) return false;
  if (dot(dir, dirs[i]) < min_dir_dot) return false;
  const Color& c = mesh->colors[i];
  const float l1 = std::fabs(color.r - c.r) + std::fabs(color.g - c.g) + std::fabs(color.b - c.b);
  return l1 < max_color_l1;
}
