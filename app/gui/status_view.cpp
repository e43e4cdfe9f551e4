#include "app/gui/status_view.h"

#include <imgui.h>

#include <string>
#include <vector>

#include "app/gui/panel_view.h"
#include "app/panel_status.h"
#include "app/texts.h"

namespace {

const ImVec4 kAccent(0.05f, 0.20f, 0.55f, 1.0f);
const int kFileLines = 2;

}  // namespace

void draw_status(const AppState& app) {
  const std::vector<std::string> lines = status_lines(app);
  for (size_t i = 0; i < lines.size(); i++) {
    std::string text = cp1252_to_utf8(lines[i]);
    if (int(i) < kFileLines) {
      ImGui::TextUnformatted(text.c_str());
      continue;
    }
    ImGui::PushStyleColor(ImGuiCol_Text, kAccent);
    ImGui::TextWrapped("%s", text.c_str());
    ImGui::PopStyleColor();
    if (int(i) == kFileLines) report_panel_text(lines[i]);
  }
}
