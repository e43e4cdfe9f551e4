#include "app/stored_trial.h"

#include <cstdio>
#include <string>

#include "app/Platform.h"
#include "app/alignment_actions.h"
#include "app/control_handles.h"
#include "app/load_mesh.h"
#include "app/result_files.h"
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

// After the slots are put back from their backups, the views and the panel
// show them again rather than a reload that failed.
void restored_scene(AppState& app) {
  refresh_view_spheres(app);
  app.sync_live_all();
}

}  // namespace

bool load_trial(AppState& app) {
  Aligner& aligner = *app.aligner;
  // Reading a mesh empties its slot first, so a failed reload puts back the
  // slot and its appearance as they were.
  const MeshSlot backup0 = *aligner.slots[0];
  const MeshSlot backup1 = *aligner.slots[1];
  const SlotAppearance look0 = app.appearance[0];
  const SlotAppearance look1 = app.appearance[1];
  PoseMatrix stored[3];

  std::string summary;
  if (!app.platform().open_file(trial_file_filters(), &summary)) return false;
  std::string mesh1, mesh2;
  if (!read_trial_summary(summary, mesh1, mesh2)) return false;
  std::string base = strip_extension(summary);
  if (base == summary) return false;
  const char* pose_suffixes[3] = {"_PosInicial.xf", "_PosICP.xf", "_PosICPcolor.xf"};
  for (int i = 0; i < 3; i++)
    if (!read_pose(base + pose_suffixes[i], stored[i])) return false;

  bool refused = false;
  if (!reload_mesh(app, 0, mesh1, "Imposible abrir el fichero: ", refused)) {
    *aligner.slots[0] = backup0;
    app.appearance[0] = look0;
    restored_scene(app);
    if (refused) {
      std::printf("\nCancelado por el usuario");
      std::fflush(stdout);
    }
    return false;
  }
  if (!reload_mesh(app, 1, mesh2, "Imposible abrir el fichero ", refused)) {
    *aligner.slots[0] = backup0;
    *aligner.slots[1] = backup1;
    app.appearance[0] = look0;
    app.appearance[1] = look1;
    restored_scene(app);
    return false;
  }

  ViewState& view = *app.view_state;
  view.initial_pose = stored[0];
  view.icp_pose = stored[1];
  view.color_icp_pose = stored[2];
  ControlHandles& h = app.controls;
  if (h.pose_icp) h.pose_icp->enable();
  if (h.pose_color_icp) h.pose_color_icp->enable();
  aligner.slots[1]->pose = view.initial_pose;
  app.shown_pose = 0;
  forget_runs(app);
  centre_view(app);
  app.sync_live_all();
  return true;
}

void load_trial_button(AppState& app) {
  if (!load_trial(app)) {
    std::printf("imposible cargar el ensayo almacenado\n");
    std::fflush(stdout);
  }
}
