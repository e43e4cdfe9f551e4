#include "app/panel_status.h"

#include "app/alignment_actions.h"

namespace {

const char* const kProgramName = "Varkel's ICP";

std::string file_part(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The loaded file of slot k by its name alone; "" when the slot is empty.
std::string loaded_name(const AppState& app, int k) {
  const MeshSlot& slot = *app.aligner->slots[k];
  return slot.mesh ? file_part(slot.file_name) : std::string();
}

}  // namespace

std::string window_title(const AppState& app) {
  std::string names;
  for (int k = 0; k < 2; k++) {
    std::string name = loaded_name(app, k);
    if (name.empty()) continue;
    names += (names.empty() ? " - " : " + ") + name;
  }
  return kProgramName + names;
}

std::vector<std::string> status_lines(const AppState& app) {
  std::vector<std::string> lines;
  for (int k = 0; k < 2; k++) {
    std::string name = loaded_name(app, k);
    lines.push_back("Malla " + std::to_string(k + 1) + ": " + (name.empty() ? "-" : name));
  }
  BatchProgress progress;
  if (trial_batch_progress(app, progress)) {
    lines.insert(lines.end(), {progress.trial, progress.counts, progress.times});
  } else if (!app.status.busy.empty()) {
    lines.push_back(app.status.busy);
  } else if (!app.status.outcome.empty()) {
    lines.push_back(app.status.outcome);
    if (!app.status.warning.empty()) lines.push_back(app.status.warning);
  }
  return lines;
}

void set_outcome(AppState& app, const std::string& text) {
  app.status.outcome = text;
  app.status.warning.clear();
}

void set_warning(AppState& app, const std::string& text) { app.status.warning = text; }

void set_busy(AppState& app, const std::string& text) { app.status.busy = text; }
