#include "app/alignment_actions.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

#include "app/Platform.h"
#include "app/control_handles.h"
#include "app/panel_actions.h"
#include "app/result_files.h"
#include "app/stored_trial.h"
#include "registration/color_features.h"

namespace {

void enable_control(Control* c) {
  if (c) c->enable();
}
void disable_control(Control* c) {
  if (c) c->disable();
}
bool control_enabled(const Control* c) { return c && c->enabled; }

// A successful run: remember the result, make it selectable, and allow saving
// once the other variant has a result too.
void accept_result(AppState& app, PoseMatrix& result, Control* own_radio, Control* other_radio,
                   int shown) {
  result = app.aligner->slots[1]->pose;
  enable_control(own_radio);
  if (control_enabled(other_radio)) enable_control(control_handles().save);
  app.shown_pose = shown;
}

bool both_meshes_have_colors(const Aligner& aligner) {
  for (const auto& slot : aligner.slots)
    if (!slot->mesh || slot->mesh->colors.size() != slot->mesh->vertices.size() ||
        slot->mesh->vertices.empty())
      return false;
  return true;
}

}  // namespace

void prepare_for_color_run(AppState& app) {
  prepare_color_features(*app.aligner, app.view_options->ridge_threshold);
}

void align_action(AppState& app, int id) {
  app.view_options->move_mesh2 = 0;
  Aligner& aligner = *app.aligner;
  ControlHandles& h = control_handles();
  if (id == 1) {
    if (aligner.align(1, false, false)) {
      std::fprintf(stderr, "ICP succeeded - distance = %f\n", aligner.error_icp);
      accept_result(app, app.view_state->icp_pose, h.pose_icp, h.pose_color_icp, 1);
    } else {
      std::fprintf(stderr, "ICP failed\n");
    }
  } else if (id == 2) {
    prepare_for_color_run(app);
    if (aligner.align_color(1, false, false)) {
      std::fprintf(stderr, "ICP succeeded - distance = %f\n", aligner.error_color);
      accept_result(app, app.view_state->color_icp_pose, h.pose_color_icp, h.pose_icp, 2);
    } else {
      std::fprintf(stderr, "ICP failed\n");
    }
  }
  sync_live_all();
}

void pose_shown_action(AppState& app) {
  const ViewState& view = *app.view_state;
  PoseMatrix& pose = app.aligner->slots[1]->pose;
  switch (app.shown_pose) {
    case 0: pose = view.initial_pose; break;
    case 1: pose = view.icp_pose; break;
    case 2: pose = view.color_icp_pose; break;
    default: break;
  }
}

void save_results(AppState& app) {
  std::string chosen;
  if (!platform().save_file(trial_file_filters(), &chosen)) {
    disable_control(control_handles().save);
    return;
  }
  if (write_result_files(app, strip_extension(chosen))) disable_control(control_handles().save);
}

LastBatch& last_batch() {
  static LastBatch batch;
  return batch;
}

namespace {

// The batch that runs between window events, with what it took away from
// the panel: every control's enabled flag before the batch.
struct RunningBatch {
  TrialBatch batch;
  bool running = false;
  bool cancel_requested = false;
  std::string base;
  std::chrono::steady_clock::time_point start;
  std::vector<std::pair<Control*, bool>> enabled_before;
};

RunningBatch& running_batch() {
  static RunningBatch batch;
  return batch;
}

// Everything but "Cancelar" is unusable while the batch runs; "Cancelar" is
// shown only then.
void lock_panel(RunningBatch& rb) {
  const ControlHandles& h = control_handles();
  rb.enabled_before.clear();
  if (!h.panel) return;
  for (Control* c : h.panel->all_controls()) rb.enabled_before.emplace_back(c, c->enabled);
  h.panel->root().disable();
  if (h.cancel) {
    h.cancel->set_visible(true);
    h.cancel->enable();
  }
}

void unlock_panel(RunningBatch& rb) {
  const ControlHandles& h = control_handles();
  for (auto& [control, enabled] : rb.enabled_before) control->enabled = enabled;
  rb.enabled_before.clear();
  if (h.cancel) h.cancel->set_visible(false);
  if (h.panel) h.panel->notify_changed();
}

void end_batch(RunningBatch& rb) {
  bool complete = rb.batch.done();
  bool log_ok = rb.batch.finish();
  if (!complete)
    std::printf("Ensayo cancelado: %d de %d ensayos terminados\n", rb.batch.trials_done(),
                rb.batch.count());
  std::fflush(stdout);
  LastBatch& last = last_batch();
  last.done = log_ok;
  last.counts = rb.batch.counts();
  last.trials = rb.batch.trials_done();
  last.records = rb.batch.records();
  write_basin_svg(rb.base + "_basin.svg", last.records);
  rb.running = false;
  unlock_panel(rb);
  sync_live_all();
}

}  // namespace

bool start_trial_batch(AppState& app) {
  RunningBatch& rb = running_batch();
  if (rb.running) return false;
  if (!both_meshes_have_colors(*app.aligner)) {
    std::printf("Imposible realizar ensayo\n");
    std::fflush(stdout);
    return false;
  }
  std::string chosen;
  if (!platform().save_file({{"*.txt", ""}}, &chosen)) {
    sync_live_all();
    return false;
  }
  TrialBatchHooks hooks;
  hooks.prepare_color_features = prepare_for_color_run;
  uint32_t seed = static_cast<uint32_t>(std::time(nullptr));
  rb.base = strip_extension(chosen);
  if (!rb.batch.start(app, rb.base, seed, kTrialCount, hooks)) {
    sync_live_all();
    return false;
  }
  rb.running = true;
  rb.cancel_requested = false;
  rb.start = std::chrono::steady_clock::now();
  lock_panel(rb);
  return true;
}

bool advance_trial_batch() {
  RunningBatch& rb = running_batch();
  if (!rb.running) return false;
  if (!rb.cancel_requested && !rb.batch.done()) rb.batch.step();
  if (rb.cancel_requested || rb.batch.done()) end_batch(rb);
  return rb.running;
}

void cancel_trial_batch() {
  if (running_batch().running) running_batch().cancel_requested = true;
}

bool trial_batch_running() { return running_batch().running; }

bool trial_batch_progress(BatchProgress& progress) {
  const RunningBatch& rb = running_batch();
  if (!rb.running) return false;
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - rb.start).count();
  progress = batch_progress(rb.batch, elapsed);
  return true;
}

void run_trial_batch(AppState& app) {
  if (start_trial_batch(app))
    while (advance_trial_batch()) {
    }
}

void install_result_actions() {
  PanelActions& actions = panel_actions();
  actions.align = [](int id) { align_action(app_state(), id); };
  actions.pose_shown = [](int) { pose_shown_action(app_state()); };
  actions.save = [](int) { save_results(app_state()); };
  actions.trial_batch = [](int) { start_trial_batch(app_state()); };
  actions.cancel_batch = [](int) { cancel_trial_batch(); };
  actions.load_trial = [](int) { load_trial_button(app_state()); };
}
