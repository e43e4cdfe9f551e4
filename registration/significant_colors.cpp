#include "registration/significant_colors.h"

#include <cmath>

namespace {

// Blue is read on a scale 256 times coarser than red and green.
const float kRedGreenScale = 100.0f;
const float kBlueScale = 100.0f / 256.0f;

bool colors_differ(const Color& a, const Color& b, float tolerance) {
  return kRedGreenScale * std::fabs(a.r - b.r) >= tolerance ||
         kRedGreenScale * std::fabs(a.g - b.g) >= tolerance ||
         kBlueScale * std::fabs(a.b - b.b) >= tolerance;
}

}  // namespace

void build_significant_colors(MeshSlot& slot) {
  if (!slot.mesh) {
    slot.significant_colors.clear();
    slot.significant_flags.clear();
    return;
  }
  TriMesh& mesh = *slot.mesh;
  const size_t n = mesh.vertices.size();
  slot.significant_colors.assign(n, Color(1.0f, 1.0f, 1.0f));
  slot.significant_flags.assign(n, 0);
  if (mesh.colors.size() != n) return;
  mesh.need_neighbors();
  if (mesh.neighbors.size() != n) return;
  const float t = slot.color_tolerance;
  for (size_t i = 0; i < n; i++) {
    const AdjacencyTable::List nbrs = mesh.neighbors[i];
    int total = 0, differing = 0;
    for (int32_t j : nbrs) {
      total++;
      if (colors_differ(mesh.colors[i], mesh.colors[size_t(j)], t)) differing++;
    }
    if (differing > total / 3) {
      slot.significant_flags[i] = 1;
      slot.significant_colors[i] = mesh.colors[i];
    }
  }
}

bool refresh_significant_colors(MeshSlot& slot) {
  float key = std::trunc(slot.color_tolerance);
  // An array not sized to the mesh (never built for it) is rebuilt whatever
  // the key says, so the display never reads past its end.
  bool sized = slot.mesh && slot.significant_colors.size() == slot.mesh->vertices.size();
  if (sized && key == std::trunc(slot.color_cache_key)) return false;
  build_significant_colors(slot);
  slot.color_cache_key = key;
  return true;
}

bool significant_colors_stale(const MeshSlot& slot) {
  return slot.significant_colors.empty() || slot.color_tolerance != slot.color_cache_key;
}
