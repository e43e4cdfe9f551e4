#include "registration/color_features.h"

#include "registration/ridge_lines.h"
#include "registration/significant_colors.h"

void prepare_color_features(Aligner& aligner, float ridge_threshold) {
  for (auto& slot : aligner.slots) {
    if (!slot->mesh) continue;
    slot->feature_marks.assign(slot->mesh->vertices.size(), false);
    mark_ridge_vertices(*slot, ridge_threshold, true, true);
  }
  for (auto& slot : aligner.slots) {
    if (!slot->mesh) continue;
    if (significant_colors_stale(*slot)) build_significant_colors(*slot);
  }
}
