#include "app/run_preview.h"

#include "app/AppState.h"

std::vector<int32_t> preview_indices(size_t vertex_count, size_t max_points) {
  std::vector<int32_t> picks;
  if (vertex_count <= max_points) {
    picks.resize(vertex_count);
    for (size_t i = 0; i < vertex_count; i++) picks[i] = int32_t(i);
    return picks;
  }
  picks.resize(max_points);
  for (size_t k = 0; k < max_points; k++) {
    // Run k holds the indices [begin, end): the runs tile the range, each
    // with at least one index since vertex_count > max_points.
    const size_t begin = k * vertex_count / max_points;
    const size_t end = (k + 1) * vertex_count / max_points;
    uint32_t h = uint32_t(k) * 0x9E3779B1u;  // a multiplicative hash, then a mix
    h ^= h >> 15;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    picks[k] = int32_t(begin + h % (end - begin));
  }
  return picks;
}

bool drawn_as_preview(const AppState& app, const MeshSlot& slot) {
  if (!slot.mesh || !(app.run_active || app.batch)) return false;
  return slot.mesh->vertices.size() > app.viewer.preview_above;
}
