#include "app/gui/comparison_view.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/AppState.h"
#include "app/alignment_actions.h"
#include "app/result_files.h"
#include "app/gui/basin_view.h"
#include "app/gui/success_curve_view.h"
#include "app/gui/panel_view.h"
#include "app/texts.h"

namespace {

// Small enough that captions and plot fit below "SALIR" at the start size.
const float kPlotHeight = 24.0f;
// Line colours of the two variants (also used for their captions).
const ImVec4 kIcpColor(0.10f, 0.35f, 0.85f, 1.0f);
const ImVec4 kColorIcpColor(0.85f, 0.30f, 0.10f, 1.0f);

// One caption line per variant: step count and final error of this
// session's run, else the stored trial's error, else "sin ejecutar".
void caption(const char* name, const std::vector<float>& history, const StoredErrors& stored,
             const std::string& stored_error, const ImVec4& color) {
  if (history.empty() && stored.shown && stored_error == kNotRunText) {
    ImGui::TextDisabled("%s: sin ejecutar (ensayo)", name);
    return;
  }
  if (history.empty() && stored.shown) {
    ImGui::TextColored(color, "%s: error %s (ensayo)", name, cp1252_to_utf8(stored_error).c_str());
    return;
  }
  if (history.empty()) {
    ImGui::TextDisabled("%s: sin ejecutar", name);
    return;
  }
  ImGui::TextColored(color, "%s: %zu pasos, error %.6f", name, history.size(),
                     static_cast<double>(history.back()));
}

// Draws one history as a line into the plot box at `origin`, on the shared
// vertical scale [low, high] and the shared step count `steps`.
void draw_series(const std::vector<float>& history, const ImVec2& origin, const ImVec2& size,
                 float low, float high, size_t steps, const ImVec4& color) {
  if (history.size() < 2) return;
  ImDrawList* draw = ImGui::GetWindowDrawList();
  float span = high > low ? high - low : 1.0f;
  float dx = size.x / static_cast<float>(std::max<size_t>(steps - 1, 1));
  ImU32 col = ImGui::ColorConvertFloat4ToU32(color);
  ImVec2 previous;
  for (size_t k = 0; k < history.size(); k++) {
    float t = (history[k] - low) / span;
    ImVec2 p(origin.x + dx * static_cast<float>(k), origin.y + size.y * (1.0f - t));
    if (k > 0) draw->AddLine(previous, p, col, 1.5f);
    previous = p;
  }
}

// Both histories in one framed box on a common scale.
void plot_histories(const std::vector<float>& icp, const std::vector<float>& color) {
  float low = 0.0f, high = 0.0f;
  bool any = false;
  for (const std::vector<float>* h : {&icp, &color})
    for (float e : *h) {
      if (!(e == e) || e > 1e30f) continue;  // skip NaN and the "no error yet" marker
      low = any ? std::min(low, e) : e;
      high = any ? std::max(high, e) : e;
      any = true;
    }
  ImVec2 origin = ImGui::GetCursorScreenPos();
  ImVec2 size(ImGui::GetContentRegionAvail().x, kPlotHeight);
  ImDrawList* draw = ImGui::GetWindowDrawList();
  draw->AddRectFilled(origin, ImVec2(origin.x + size.x, origin.y + size.y),
                      ImGui::GetColorU32(ImGuiCol_FrameBg));
  size_t steps = std::max(icp.size(), color.size());
  ImVec2 inner(origin.x + 2.0f, origin.y + 2.0f);
  ImVec2 inner_size(size.x - 4.0f, size.y - 4.0f);
  if (any) {
    draw_series(icp, inner, inner_size, low, high, steps, kIcpColor);
    draw_series(color, inner, inner_size, low, high, steps, kColorIcpColor);
  }
  ImGui::Dummy(size);
}

}  // namespace

void draw_comparison(const AppState& app) {
  const Aligner& aligner = *app.aligner;
  ImGui::Separator();
  // A running batch's progress is in the status area.
  const bool running = trial_batch_running(app);
  const StoredErrors& stored = app.stored_errors;
  caption("ICP", aligner.icp.history, stored, stored.icp, kIcpColor);
  caption("ICP_Color", aligner.color.history, stored, stored.color, kColorIcpColor);
  if (!aligner.icp.history.empty() || !aligner.color.history.empty())
    plot_histories(aligner.icp.history, aligner.color.history);

  const LastBatch& batch = app.last_batch;
  if (running || !batch.done) return;
  char line[160];
  std::snprintf(line, sizeof line, "Ensayos: %d  Ambos bien: %d\nS\xF3lo color: %d  S\xF3lo normal: %d",
                batch.trials, batch.counts.both_good, batch.counts.only_color,
                batch.counts.only_geometric);
  ImGui::TextUnformatted(cp1252_to_utf8(line).c_str());
  draw_basin(batch.records);
  draw_success_curve(batch.records);
}
