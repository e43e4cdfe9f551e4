#include "app/gui/comparison_view.h"

#include <imgui.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <vector>

#include "app/AppState.h"
#include "app/alignment_actions.h"
#include "app/texts.h"

namespace {

const float kPlotHeight = 56.0f;

// One history as a line plot, labelled with its step count and last error.
void plot_history(const char* name, const std::vector<float>& history) {
  char caption[96];
  if (history.empty()) {
    std::snprintf(caption, sizeof caption, "%s: sin datos", name);
    ImGui::TextDisabled("%s", caption);
    return;
  }
  std::snprintf(caption, sizeof caption, "%s: %zu pasos, error final %.6f", name, history.size(),
                static_cast<double>(history.back()));
  ImGui::TextUnformatted(caption);
  ImGui::PushID(name);
  float width = ImGui::GetContentRegionAvail().x;
  ImGui::PlotLines("##history", history.data(), static_cast<int>(history.size()), 0, nullptr,
                   0.0f, FLT_MAX, ImVec2(width, kPlotHeight));
  ImGui::PopID();
}

}  // namespace

void draw_comparison() {
  const Aligner& aligner = *app_state().aligner;
  ImGui::Spacing();
  ImGui::Separator();
  ImGui::TextUnformatted("Convergencia (error por paso)");
  plot_history("ICP", aligner.history_icp);
  plot_history("ICP_Color", aligner.history_color);

  const LastBatch& batch = last_batch();
  if (!batch.done) return;
  ImGui::Spacing();
  char line[160];
  std::snprintf(line, sizeof line, "Ensayos: %d\nAmbos bien: %d\nS\xF3lo color: %d\nS\xF3lo normal: %d",
                batch.trials, batch.counts.both_good, batch.counts.only_color,
                batch.counts.only_geometric);
  ImGui::TextUnformatted(cp1252_to_utf8(line).c_str());
}
