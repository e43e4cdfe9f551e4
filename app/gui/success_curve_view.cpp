#include "app/gui/success_curve_view.h"

#include <imgui.h>

#include <string>

#include "app/gui/panel_view.h"
#include "app/success_curve.h"

namespace {

const float kPlotHeight = 60.0f;  // pixels at scale 1
const ImVec4 kMethodColors[2] = {ImVec4(0.15f, 0.35f, 0.85f, 1.0f),
                                 ImVec4(0.85f, 0.30f, 0.10f, 1.0f)};

}  // namespace

void draw_success_curve(const std::vector<TrialRecord>& records) {
  if (records.empty()) return;
  const SuccessCurve curve = success_curve(records);
  // The rate axis: a full bar is every trial of its bin.
  ImGui::TextWrapped("Pose recuperada por giro inicial (grados; barra llena: 100 %%)");
  ImDrawList* draw = ImGui::GetWindowDrawList();
  const ImVec2 origin = ImGui::GetCursorScreenPos();
  const float width = ImGui::GetContentRegionAvail().x;
  const float height = kPlotHeight * panel_scale();
  const ImVec2 end(origin.x + width, origin.y + height);
  draw->AddRectFilled(origin, end, ImGui::GetColorU32(ImGuiCol_FrameBg));
  const float group = width / kCurveBins;
  const float bar = 0.8f * group / float(curve.methods.size());
  const ImU32 text = ImGui::GetColorU32(ImGuiCol_Text);
  for (int b = 0; b < kCurveBins; b++) {
    const float x0 = origin.x + group * (float(b) + 0.1f);
    for (size_t m = 0; m < curve.methods.size(); m++) {
      const double rate = curve.rate(m, b);
      if (rate < 0) continue;
      const float top = end.y - (height - 2.0f) * float(rate);
      const float x = x0 + bar * float(m);
      draw->AddRectFilled(ImVec2(x, top), ImVec2(x + bar - 1.0f, end.y),
                          ImGui::ColorConvertFloat4ToU32(kMethodColors[m % 2]));
    }
    const std::string label = curve_bin_label(b) + " (" + std::to_string(curve.trials[b]) + ")";
    draw->AddText(ImVec2(origin.x + group * float(b) + 2.0f, origin.y + 1.0f), text,
                  label.c_str());
  }
  ImGui::Dummy(ImVec2(width, height));
}
