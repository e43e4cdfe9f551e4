#include "app/load_mesh.h"

#include <chrono>
#include <cstdio>
#include <future>

#include "app/Platform.h"
#include "app/alignment_actions.h"
#include "app/control_handles.h"
#include "app/panel_lock.h"
#include "app/panel_status.h"
#include "app/view_setup.h"
#include "registration/load_scan.h"

const char* const kLoadFailedMessage = "Imposible cargar la malla seleccionada\n";

namespace {

void enable(Control* c, bool on) {
  if (c) c->set_enabled(on);
}

bool has_colors(const MeshSlot& s) { return s.mesh && !s.mesh->colors.empty(); }

// "Color real" and "Color Significativo" need per-vertex colours; a
// colourless mesh is shown white.
void apply_color_rule(AppState& app, int k) {
  MeshSlot& s = *app.aligner->slots[k];
  ControlHandles& h = app.controls;
  if (has_colors(s)) {
    s.color_mode = 1;
  } else {
    s.color_mode = 0;
    enable(h.color_real[k], false);
    enable(h.color_significant[k], false);
  }
}

// The colour ICP and the trial batch compare colours of both meshes.
void apply_color_actions_rule(AppState& app) {
  bool both = has_colors(*app.aligner->slots[0]) && has_colors(*app.aligner->slots[1]);
  enable(app.controls.color_icp, both);
  enable(app.controls.trial_batch, both);
}

void mesh1_loaded(AppState& app) {
  ControlHandles& h = app.controls;
  ViewState& vs = *app.view_state;
  if (app.load_stage == 0) app.load_stage = 1;
  enable(h.load_mesh[1], true);
  enable(h.appearance[0], true);
  apply_color_rule(app, 0);
  enable(h.tolerance[0], true);
  enable(h.geometry, true);
  if (app.aligner->slots[1]->mesh) apply_color_actions_rule(app);
  update_view_sphere(app, 2);
  vs.overlap_view = view_transform(vs.spheres[0]);
  update_view_sphere(app, 0);
  vs.mesh1_view = view_transform(vs.spheres[1]);
}

void mesh2_loaded(AppState& app) {
  ControlHandles& h = app.controls;
  ViewState& vs = *app.view_state;
  vs.initial_pose = app.aligner->slots[1]->pose;
  enable(h.pose_initial, true);
  app.load_stage = 2;
  enable(h.split, true);
  enable(h.overlapped, true);
  enable(h.move_mesh2, false);
  enable(h.appearance[1], true);
  apply_color_rule(app, 1);
  enable(h.tolerance[1], true);
  enable(h.prealign, true);
  // A new mesh 2: the last prealignment's outcome and undo no longer apply.
  app.prealign = PrealignState();
  enable(h.undo_prealign, false);
  if (h.prealign_outcome) h.prealign_outcome->set_visible(false);
  enable(h.icp, true);
  enable(h.reset, true);
  apply_color_actions_rule(app);
  update_view_sphere(app, 2);
  vs.overlap_view = view_transform(vs.spheres[0]);
  update_view_sphere(app, 0);
  update_view_sphere(app, 1);
  vs.mesh2_view = view_transform(vs.spheres[2]);
  if (app.view_options->views_mode == 0) enable(h.move_mesh2, true);
}

// A new pair, or a slot emptied: the captions, plots and batch outcome of
// the runs so far describe meshes no longer shown.
void forget_shown_results(AppState& app) {
  app.aligner->icp = VariantRecord();
  app.aligner->color = VariantRecord();
  app.last_batch = LastBatch();
  app.stored_errors = StoredErrors();
}

// While a scan is read the window is handed its events this often.
const std::chrono::milliseconds kLoadPumpPeriod(50);

std::string file_part(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads the scan at `path` into slot k (load_scan). With a window the read
// runs on a second thread into a fresh slot while this thread keeps the
// window drawn: the first redraw replaces what a closed dialog left on the
// screen, the panel is locked and says what loads, and the view keeps
// showing the meshes as they were (taking no mouse input) until the slot
// takes the new scan, or is left empty by a failed read, at the end.
bool read_scan(AppState& app, int k, const std::string& path) {
  MeshSlot& slot = *app.aligner->slots[k];
  if (!app.viewer.pump_events) return load_scan(slot, k, path);
  EnabledFlags before = lock_panel(app, false);
  set_busy(app, "Cargando malla " + std::to_string(k + 1) + ": " + file_part(path) + " ...");
  app.loading = true;
  MeshSlot fresh;
  fresh.index = slot.index;
  std::future<bool> read =
      std::async(std::launch::async, [&fresh, k, &path] { return load_scan(fresh, k, path); });
  bool view = true;
  do {
    app.viewer.pump_events(view);
    view = false;
  } while (read.wait_for(kLoadPumpPeriod) != std::future_status::ready);
  const bool ok = read.get();
  slot = std::move(fresh);
  app.loading = false;
  set_busy(app, "");
  unlock_panel(app, before);
  return ok;
}

}  // namespace

void apply_data_rules(AppState& app) {
  ControlHandles& h = app.controls;
  const bool present[2] = {app.aligner->slots[0]->mesh != nullptr,
                           app.aligner->slots[1]->mesh != nullptr};
  for (int k = 0; k < 2; k++)
    if (!present[k]) enable(h.appearance[k], false);
  if (!present[0] && !present[1]) enable(h.geometry, false);
  if (present[0] && present[1]) {
    enable(h.prealign, true);
    enable(h.icp, true);
    enable(h.pose_initial, true);
    enable(h.move_mesh2, app.view_options->views_mode == 0);
    apply_color_actions_rule(app);
    return;
  }
  for (Control* c : {h.prealign, h.undo_prealign, h.icp, h.color_icp, h.trial_batch, h.move_mesh2,
                     h.pose_initial, h.pose_icp, h.pose_color_icp})
    enable(c, false);
}

bool load_mesh_path(AppState& app, int which, const std::string& path) {
  const int k = which & 1;
  app.appearance[k] = SlotAppearance();
  forget_shown_results(app);
  if (!read_scan(app, k, path)) {
    // The slot is empty now: the views and the panel must not show its past.
    refresh_view_spheres(app);
    apply_data_rules(app);
    app.sync_live_all();
    return false;
  }
  if (k == 0) {
    mesh1_loaded(app);
  } else {
    mesh2_loaded(app);
  }
  apply_data_rules(app);
  app.sync_live_all();
  return true;
}

bool load_mesh(AppState& app, int which) {
  if (which < 0 || which > 3) return false;
  std::string path;
  if (which <= 1) {
    if (!app.platform().open_file(kOpenMeshTitle[which], mesh_file_filters(), &path)) return false;
  } else {
    path = app.aligner->slots[which - 2]->stored_name;
  }
  return load_mesh_path(app, which, path);
}

namespace {

// The status area's word on a pose file that could not be used as it is
// (the console line is load_scan's); empty when there is nothing to say.
std::string pose_warning(const MeshSlot& slot) {
  const PoseFileCheck& check = slot.pose_check;
  std::string why;
  switch (check.status) {
    case PoseFileStatus::absent:
    case PoseFileStatus::rigid: return "";
    case PoseFileStatus::not_regular: why = "no es un archivo normal"; break;
    case PoseFileStatus::too_large: why = "demasiado grande"; break;
    case PoseFileStatus::unopenable: why = "ilegible"; break;
    case PoseFileStatus::too_few_numbers:
      why = "s\xF3lo " + std::to_string(check.numbers) + " de 16 n\xFAmeros";
      break;
    case PoseFileStatus::not_a_number:
      why = "el n\xFAmero " + std::to_string(check.numbers + 1) + " no es v\xE1lido";
      break;
    case PoseFileStatus::no_line_end: why = "sin fin de l\xEDnea"; break;
    case PoseFileStatus::not_rigid: why = "no es r\xEDgida"; break;
    case PoseFileStatus::singular: why = "singular"; break;
  }
  return "Aviso: pose " + file_part(slot.xf_name) + " " + why +
         (pose_is_usable(check.status) ? ", usada tal cual" : "; malla en la identidad");
}

// The console line of a failed load, and the status area's outcome line
// (with the pose file's warning, if any).
void report_load(AppState& app, int k, bool ok) {
  if (!ok) {
    std::fputs(kLoadFailedMessage, stdout);
    std::fflush(stdout);
    set_outcome(app, "Imposible cargar la malla seleccionada");
    return;
  }
  const MeshSlot& slot = *app.aligner->slots[k];
  char text[64];
  std::snprintf(text, sizeof text, "Malla %d cargada: %zu v\xE9rtices", k + 1,
                slot.mesh->vertices.size());
  set_outcome(app, text);
  set_warning(app, pose_warning(slot));
}

}  // namespace

void load_button(AppState& app, int id) {
  const MeshSlot& slot = *app.aligner->slots[id & 1];
  const bool had_mesh = slot.mesh != nullptr;
  bool ok = load_mesh(app, id);
  // A new mesh, or one lost by a failed read, leaves nothing run to save.
  if (ok || (had_mesh && !slot.mesh)) forget_runs(app);
  report_load(app, id & 1, ok);
}

void load_command_line_meshes(AppState& app, const std::vector<std::string>& paths) {
  for (size_t k = 0; k < paths.size() && k < 2; k++)
    report_load(app, int(k), load_mesh_path(app, int(k), paths[k]));
}
