#include "app/significant_colors.h"

#include <cmath>

void build_significant_colors(MeshSlot& slot) {
  const TriMesh& mesh = *slot.mesh;
  const size_t n = mesh.vertices.size();
  slot.significant_colors.assign(n, Color(1.0f, 1.0f, 1.0f));
  slot.significant_flags.assign(n, 0);
  if (mesh.colors.size() != n || mesh.neighbors.size() != n) return;
  const float t = slot.color_tolerance;
  // Blue is scaled by 100/256 rather than 100: the stored behaviour of this
  // test, which makes blue-only differences count far less.
  const float blue_scale = 100.0f / 256.0f;
  for (size_t i = 0; i < n; i++) {
    const Color& ci = mesh.colors[i];
    int total = 0, differing = 0;
    for (int32_t j : mesh.neighbors[i]) {
      total++;
      const Color& cj = mesh.colors[j];
      if (100.0f * std::fabs(ci.r - cj.r) >= t || 100.0f * std::fabs(ci.g - cj.g) >= t ||
          blue_scale * std::fabs(ci.b - cj.b) >= t)
        differing++;
    }
    if (differing > total / 3) {
      slot.significant_flags[i] = 1;
      slot.significant_colors[i] = ci;
    }
  }
}
