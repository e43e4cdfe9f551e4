#include "app/gui/comparison_view.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
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

// Height of the error plot at scale 1: two lines of axis labels, and still
// below "SALIR" at the start size.
const float kPlotHeight = 26.0f;
// Axis labels are drawn this much smaller than the panel's text.
const float kLabelShrink = 0.75f;
// Line colours of the two variants (also used for their captions).
const ImVec4 kIcpColor(0.10f, 0.35f, 0.85f, 1.0f);
const ImVec4 kColorIcpColor(0.85f, 0.30f, 0.10f, 1.0f);
// What "bien" means in the counts, and why the pose-based outcome below
// may count fewer.
const char* const kGoodByErrorNote =
    "Bien: error final < 0.001, como en el registro del ensayo. Un error peque\xF1o no "
    "asegura la pose: el ICP puede deslizarse sobre una superficie que se repite (ondas) y "
    "acabar desplazado; la pose recuperada, abajo, lo mide contra la pose de referencia.";
// Why the captions count fewer iterations than the plot has steps.
const char* const kStepsNote =
    "Iteraciones: las del bucle principal, como \"Did N iterations\" en la consola.\n"
    "El gr\xE1""fico muestra el error de cada paso, tambi\xE9n los pasos gruesos de cada\n"
    "reinicio, por eso tiene m\xE1s pasos que iteraciones.";

// One caption line per variant: iterations and final error of this
// session's run, else the stored trial's error, else "sin ejecutar".
void caption(const char* name, const VariantRecord& record, const StoredErrors& stored,
             const std::string& stored_error, const ImVec4& color) {
  const std::vector<float>& history = record.history;
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
  ImGui::TextColored(color, "%s: %d iteraciones, error %.6f", name, record.iterations,
                     static_cast<double>(history.back()));
  if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", cp1252_to_utf8(kStepsNote).c_str());
}

// The vertical axis: errors on a log scale between `low` and `high` (a flat
// history gets a span around its value), as a position 0..1 from the bottom.
struct ErrorAxis {
  double log_low = 0.0, log_high = 1.0;
  ErrorAxis(float low, float high) {
    log_low = std::log10(std::max(double(low), 1e-12));
    log_high = std::log10(std::max(double(high), 1e-12));
    if (log_high - log_low < 1e-3) {
      log_low -= 0.5;
      log_high += 0.5;
    }
  }
  float position(float error) const {
    double t = (std::log10(std::max(double(error), 1e-12)) - log_low) / (log_high - log_low);
    return float(std::min(1.0, std::max(0.0, t)));
  }
};

// Draws one history as a line into the plot box at `origin`, on the shared
// vertical axis and the shared step count `steps`.
void draw_series(const std::vector<float>& history, const ImVec2& origin, const ImVec2& size,
                 const ErrorAxis& axis, size_t steps, const ImVec4& color) {
  if (history.size() < 2) return;
  ImDrawList* draw = ImGui::GetWindowDrawList();
  float dx = size.x / static_cast<float>(std::max<size_t>(steps - 1, 1));
  ImU32 col = ImGui::ColorConvertFloat4ToU32(color);
  ImVec2 previous;
  bool have_previous = false;
  for (size_t k = 0; k < history.size(); k++) {
    if (!(history[k] == history[k]) || history[k] > 1e30f) {  // NaN or no error yet
      have_previous = false;
      continue;
    }
    ImVec2 p(origin.x + dx * static_cast<float>(k),
             origin.y + size.y * (1.0f - axis.position(history[k])));
    if (have_previous) draw->AddLine(previous, p, col, 1.5f * panel_scale());
    previous = p;
    have_previous = true;
  }
}

// A label on a pale patch, so it stays legible over the lines.
ImVec2 label_size(const char* text) {
  ImVec2 size = ImGui::CalcTextSize(text);
  return ImVec2(size.x * kLabelShrink, size.y * kLabelShrink);
}

void axis_label(const ImVec2& at, const char* text) {
  ImDrawList* draw = ImGui::GetWindowDrawList();
  ImVec2 size = label_size(text);
  draw->AddRectFilled(at, ImVec2(at.x + size.x + 2.0f, at.y + size.y),
                      ImGui::GetColorU32(ImGuiCol_FrameBg, 0.85f));
  draw->AddText(ImGui::GetFont(), ImGui::GetFontSize() * kLabelShrink, ImVec2(at.x + 1.0f, at.y),
                ImGui::GetColorU32(ImGuiCol_Text), text);
}

// Both histories in one framed box on a common log scale, the error range
// at the left edge and the step count at the bottom right; the pointer over
// it tells steps from iterations.
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
  ImVec2 size(ImGui::GetContentRegionAvail().x, kPlotHeight * panel_scale());
  ImDrawList* draw = ImGui::GetWindowDrawList();
  draw->AddRectFilled(origin, ImVec2(origin.x + size.x, origin.y + size.y),
                      ImGui::GetColorU32(ImGuiCol_FrameBg));
  size_t steps = std::max(icp.size(), color.size());
  ImVec2 inner(origin.x + 2.0f, origin.y + 2.0f);
  ImVec2 inner_size(size.x - 4.0f, size.y - 4.0f);
  if (any) {
    const ErrorAxis axis(low, high);
    draw_series(icp, inner, inner_size, axis, steps, kIcpColor);
    draw_series(color, inner, inner_size, axis, steps, kColorIcpColor);
    char text[32];
    std::snprintf(text, sizeof text, "%.2g", std::pow(10.0, axis.log_high));
    axis_label(origin, text);
    std::snprintf(text, sizeof text, "%.2g", std::pow(10.0, axis.log_low));
    const float bottom = origin.y + size.y - label_size(text).y;
    axis_label(ImVec2(origin.x, bottom), text);
    // The horizontal axis: steps from the first, at the left edge, to the last.
    std::snprintf(text, sizeof text, "%zu pasos", steps);
    axis_label(ImVec2(origin.x + size.x - label_size(text).x - 2.0f, bottom), text);
  }
  ImGui::Dummy(size);
  if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", cp1252_to_utf8(kStepsNote).c_str());
}

}  // namespace

void draw_comparison(const AppState& app) {
  const Aligner& aligner = *app.aligner;
  ImGui::Separator();
  // A running batch's progress is in the status area.
  const bool running = trial_batch_running(app);
  const StoredErrors& stored = app.stored_errors;
  caption("ICP", aligner.icp, stored, stored.icp, kIcpColor);
  caption("ICP_Color", aligner.color, stored, stored.color, kColorIcpColor);
  if (!aligner.icp.history.empty() || !aligner.color.history.empty())
    plot_histories(aligner.icp.history, aligner.color.history);

  const LastBatch& batch = app.last_batch;
  if (running || !batch.done) return;
  char line[160];
  std::snprintf(line, sizeof line, "Ensayos: %d  Ambos bien: %d\nS\xF3lo color: %d  S\xF3lo normal: %d",
                batch.trials, batch.counts.both_good, batch.counts.only_color,
                batch.counts.only_geometric);
  ImGui::TextUnformatted(cp1252_to_utf8(line).c_str());
  ImGui::PushTextWrapPos(0.0f);
  ImGui::TextDisabled("%s", cp1252_to_utf8(kGoodByErrorNote).c_str());
  ImGui::PopTextWrapPos();
  draw_basin(batch.records);
  draw_success_curve(batch.records);
}
