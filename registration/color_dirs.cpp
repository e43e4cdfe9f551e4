#include "registration/color_dirs.h"

#include <cmath>

#include "mesh/diagnostics.h"

void compute_color_dirs(MeshSlot& slot) {
  if (!slot.mesh) return;
  TriMesh& mesh = *slot.mesh;
  const size_t n = mesh.vertices.size();
  if (slot.color_dirs.size() == n) return;

  progress_printf("Calculando diferencia de color entre puntos vecinos... ");
  slot.color_dirs.assign(n, point());
  mesh.need_neighbors();
  if (mesh.colors.size() == n && mesh.neighbors.size() == n) {
    for (size_t i = 0; i < n; i++) {
      const AdjacencyTable::List nbrs = mesh.neighbors[i];
      if (nbrs.empty()) continue;
      double sum[3] = {0.0, 0.0, 0.0};
      for (int32_t j : nbrs) {
        const Color& c = mesh.colors[size_t(j)];
        sum[0] += c.r;
        sum[1] += c.g;
        sum[2] += c.b;
      }
      double count = double(nbrs.size());
      const Color& ci = mesh.colors[i];
      point d(float(ci.r - sum[0] / count), float(ci.g - sum[1] / count),
              float(ci.b - sum[2] / count));
      float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
      if (length != 0.0f) d /= length;
      slot.color_dirs[i] = d;
    }
  }
  progress_printf("Hecho.\n");
}
