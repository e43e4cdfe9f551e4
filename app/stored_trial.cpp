#include "app/stored_trial.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/Platform.h"
#include "app/alignment_actions.h"
#include "app/control_handles.h"
#include "app/load_mesh.h"
#include "app/panel_status.h"
#include "app/result_files.h"
#include "geometry/file_set.h"
#include "app/view_setup.h"

namespace {

const char kMissingCaption[] = "Error de lectura";
// The question ends in Windows-1252: "\n¿Desea buscarlo manualmente?".
const char kSearchQuestion[] = "\n\xBF" "Desea buscarlo manualmente?";

bool file_is_readable(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  std::fclose(f);
  return true;
}

// Loads slot `k` from `path` (mode 2 + k), or, when the file cannot be
// opened and the user agrees, from the open dialog (mode k). `prefix` is the
// message's start. False on refusal or failure; `refused` tells which.
bool reload_mesh(AppState& app, int k, const std::string& path, const char* prefix,
                 bool& refused) {
  refused = false;
  if (file_is_readable(path)) {
    app.aligner->slots[k]->stored_name = path;
    return load_mesh(app, 2 + k);
  }
  if (!app.platform().ask_yes_no(kMissingCaption, {prefix, path, kSearchQuestion})) {
    refused = true;
    return false;
  }
  return load_mesh(app, k);
}

// What a reload changes besides the slots' meshes: the slots' appearance,
// the stage, what the panel shows of the runs so far and which controls are
// usable. A failed load puts all of it back with the slots.
struct SceneBackup {
  SlotAppearance look[2];
  int32_t load_stage;
  VariantRecord icp, color;
  LastBatch last_batch;
  StoredErrors stored_errors;
  std::vector<std::pair<Control*, bool>> enabled;

  explicit SceneBackup(const AppState& app)
      : look{app.appearance[0], app.appearance[1]},
        load_stage(app.load_stage),
        icp(app.aligner->icp),
        color(app.aligner->color),
        last_batch(app.last_batch),
        stored_errors(app.stored_errors) {
    if (app.controls.panel)
      for (Control* c : app.controls.panel->all_controls()) enabled.emplace_back(c, c->enabled);
  }

  // Puts everything back, slot 0 alone or both; then the views and the
  // panel show the restored slots rather than a reload that failed.
  void restore(AppState& app, int slots) const {
    for (int k = 0; k < slots; k++) app.appearance[k] = look[k];
    app.load_stage = load_stage;
    app.aligner->icp = icp;
    app.aligner->color = color;
    app.last_batch = last_batch;
    app.stored_errors = stored_errors;
    for (const auto& [control, on] : enabled) control->enabled = on;
    if (app.controls.panel) app.controls.panel->notify_changed();
    refresh_view_spheres(app);
    app.sync_live_all();
  }
};

}  // namespace

bool load_trial(AppState& app) {
  Aligner& aligner = *app.aligner;
  // Reading a mesh empties its slot first, so a failed reload puts back the
  // slot and the scene around it as they were.
  const MeshSlot backup0 = *aligner.slots[0];
  const MeshSlot backup1 = *aligner.slots[1];
  const SceneBackup scene(app);
  PoseMatrix stored[3];

  std::string summary;
  if (!app.platform().open_file(kOpenTrialTitle, trial_file_filters(), &summary)) return false;
  // A set whose writer died between its renames is completed before reading.
  complete_interrupted_sets(folder_of(summary));
  std::string mesh1, mesh2;
  if (!read_trial_summary(summary, mesh1, mesh2)) return false;
  std::string base = strip_extension(summary);
  if (base == summary) return false;
  // The start pose is always a pose; a result may say its variant was not
  // run (a set saved from scans without colours).
  const char* pose_suffixes[3] = {"_PosInicial.xf", "_PosICP.xf", "_PosICPcolor.xf"};
  bool ran[3] = {true, true, true};
  for (int i = 0; i < 3; i++)
    if (!read_result_pose(base + pose_suffixes[i], stored[i], ran[i]) || !ran[0]) return false;
  StoredErrors errors;
  errors.shown = read_summary_errors(summary, errors.icp, errors.color);

  bool refused = false;
  if (!reload_mesh(app, 0, mesh1, "Imposible abrir el fichero: ", refused)) {
    *aligner.slots[0] = backup0;
    scene.restore(app, 1);
    if (refused) {
      std::printf("\nCancelado por el usuario");
      std::fflush(stdout);
    }
    return false;
  }
  if (!reload_mesh(app, 1, mesh2, "Imposible abrir el fichero ", refused)) {
    *aligner.slots[0] = backup0;
    *aligner.slots[1] = backup1;
    scene.restore(app, 2);
    return false;
  }

  ViewState& view = *app.view_state;
  view.initial_pose = stored[0];
  view.icp_pose = ran[1] ? stored[1] : stored[0];
  view.color_icp_pose = ran[2] ? stored[2] : stored[0];
  ControlHandles& h = app.controls;
  if (h.pose_icp) h.pose_icp->set_enabled(ran[1]);
  if (h.pose_color_icp) h.pose_color_icp->set_enabled(ran[2]);
  aligner.slots[1]->pose = view.initial_pose;
  app.shown_pose = 0;
  app.stored_errors = errors;
  forget_runs(app);
  centre_view(app);
  app.sync_live_all();
  return true;
}

void load_trial_button(AppState& app) {
  if (!load_trial(app)) {
    std::printf("imposible cargar el ensayo almacenado\n");
    std::fflush(stdout);
    set_outcome(app, "Imposible cargar el ensayo almacenado");
    return;
  }
  set_outcome(app, "Ensayo cargado");
}
