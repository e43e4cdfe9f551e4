#include "app/gui/basin_view.h"

#include <imgui.h>

#include <cstdio>

#include "app/gui/panel_view.h"
#include "app/texts.h"

namespace {

const float kPlotHeight = 70.0f;  // pixels at scale 1
const float kGap = 6.0f;
const ImVec4 kIcpColor(0.15f, 0.35f, 0.85f, 1.0f);
const ImVec4 kColorIcpColor(0.85f, 0.30f, 0.10f, 1.0f);
const ImVec4 kThresholdColor(0.15f, 0.6f, 0.15f, 1.0f);

// One framed plot: error (log, shared axes) against one start measure.
void plot(const std::vector<TrialRecord>& records, const BasinAxes& axes, bool by_shift,
          const ImVec2& origin, const ImVec2& size) {
  ImDrawList* draw = ImGui::GetWindowDrawList();
  const ImVec2 end(origin.x + size.x, origin.y + size.y);
  draw->AddRectFilled(origin, end, ImGui::GetColorU32(ImGuiCol_FrameBg));
  auto y_of = [&](float error) {
    return end.y - 2.0f - (size.y - 4.0f) * float(axes.error_position(error));
  };
  float y_good = y_of(kTrialGoodError);
  draw->AddLine(ImVec2(origin.x, y_good), ImVec2(end.x, y_good),
                ImGui::ColorConvertFloat4ToU32(kThresholdColor), 1.0f);
  const ImU32 colors[2] = {ImGui::ColorConvertFloat4ToU32(kIcpColor),
                           ImGui::ColorConvertFloat4ToU32(kColorIcpColor)};
  for (const TrialRecord& r : records) {
    float x = origin.x + 3.0f + (size.x - 6.0f) * float(axes.start_position(r, by_shift));
    draw->AddCircleFilled(ImVec2(x, y_of(r.error_icp)), 2.0f, colors[0]);
    float yc = y_of(r.error_color);
    draw->AddRectFilled(ImVec2(x - 2.0f, yc - 2.0f), ImVec2(x + 2.0f, yc + 2.0f), colors[1]);
  }
  // The error axis's ends, in the first plot only (the second shares them).
  if (by_shift) return;
  char text[16];
  const ImU32 grey = ImGui::GetColorU32(ImGuiCol_TextDisabled);
  std::snprintf(text, sizeof text, "1e%d", axes.high_decade);
  draw->AddText(ImVec2(origin.x + 1.0f, origin.y), grey, text);
  std::snprintf(text, sizeof text, "1e%d", axes.low_decade);
  draw->AddText(ImVec2(origin.x + 1.0f, end.y - ImGui::GetTextLineHeight()), grey, text);
}

}  // namespace

void draw_basin(const std::vector<TrialRecord>& records) {
  if (records.empty()) return;
  const BasinAxes axes = basin_axes(records);
  ImGui::TextColored(kIcpColor, "ICP");
  ImGui::SameLine();
  ImGui::TextColored(kColorIcpColor, "ICP_Color");
  ImGui::SameLine();
  ImGui::TextColored(kThresholdColor, "error 0.001");
  ImGui::TextWrapped("%s", cp1252_to_utf8(pose_outcome_line(records)).c_str());
  ImVec2 origin = ImGui::GetCursorScreenPos();
  float width = (ImGui::GetContentRegionAvail().x - kGap) / 2.0f;
  const float height = kPlotHeight * panel_scale();
  plot(records, axes, false, origin, ImVec2(width, height));
  plot(records, axes, true, ImVec2(origin.x + width + kGap, origin.y), ImVec2(width, height));
  ImGui::Dummy(ImVec2(2.0f * width + kGap, height));
  char caption[96];
  std::snprintf(caption, sizeof caption, "giro 0-%.0f grados | despl. 0-%.2f diag.",
                axes.max_degrees, axes.max_shift);
  ImGui::TextDisabled("%s", caption);
}
