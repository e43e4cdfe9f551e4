#include "app/alignment_actions.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "app/Platform.h"
#include "app/panel_lock.h"
#include "app/panel_status.h"
#include "app/result_files.h"
#include "geometry/file_set.h"
#include "app/stored_trial.h"
#include "app/trial_outputs.h"
#include "geometry/parallel.h"
#include "project_version.h"
#include "registration/color_features.h"
#include "registration/prealign.h"

namespace {

void enable_control(Control* c) {
  if (c) c->enable();
}
void disable_control(Control* c) {
  if (c) c->disable();
}

bool both_meshes_have_colors(const Aligner& aligner) {
  for (const auto& slot : aligner.slots)
    if (!slot->mesh || slot->mesh->colors.size() != slot->mesh->vertices.size() ||
        slot->mesh->vertices.empty())
      return false;
  return true;
}

// "Grabar" saves this session's runs: both variants when both can run, the
// geometric one alone when the scans carry no colours (a loaded trial's
// results are selectable but are not this session's runs).
bool runs_to_save(const AppState& app) {
  if (!app.icp_run_fresh) return false;
  return app.color_run_fresh || !both_meshes_have_colors(*app.aligner);
}

// A successful run: remember the result, make it selectable, and allow saving
// once what can be run has run since the last load or reset.
void accept_result(AppState& app, PoseMatrix& result, Control* own_radio, bool& own_fresh,
                   IcpMode shown) {
  result = app.aligner->slots[1]->pose;
  enable_control(own_radio);
  own_fresh = true;
  if (runs_to_save(app)) enable_control(app.controls.save);
  app.shown_pose = int32_t(shown);
}

}  // namespace

void prepare_for_color_run(AppState& app) {
  prepare_color_features(*app.aligner, app.view_options->ridge_threshold);
}

std::function<void(Aligner&)> color_features_hook(const ViewOptions& options) {
  return [&options](Aligner& aligner) { prepare_color_features(aligner, options.ridge_threshold); };
}

namespace {

// During a run the window takes its input (Esc, "Cancelar") every
// kEventPeriod and is redrawn (the 3-D view, large scans as their run
// preview, and the panel's progress) every kRedrawPeriod, or less often when
// redrawing is slow: the next redraw waits kRunShare times what the cheaper
// of the last two took, so the window's share of the run stays near
// 1 / (1 + kRunShare) however slowly it draws. The cheaper of two, because
// the first redraw of a run also pays for the renderer's setting up (its
// code for the preview's points), which the later ones do not; so the first
// redraw's cost holds nothing back. The period keeps the view moving (a
// redraw lands on the first event pass after it, within a second on an idle
// machine) while costing the run only a few per cent.
const std::chrono::milliseconds kEventPeriod(200);
const std::chrono::milliseconds kRedrawPeriod(700);
const int kRunShare = 8;

// The status area's line during a run.
std::string run_busy_line(const char* name, const VariantRecord& record) {
  char busy[128];
  if (record.history.empty())
    std::snprintf(busy, sizeof busy, "%s en curso (Esc o Cancelar lo detiene)", name);
  else
    std::snprintf(busy, sizeof busy, "%s en curso: %d iteraciones, error %f", name,
                  record.iterations, double(record.history.back()));
  return busy;
}

// Runs one alignment while the window keeps drawing: the panel is locked but
// for "Cancelar", the status area shows the steps so far, and between the
// engine's steps the window gets its events. False when the run failed or
// was cancelled (aligner.cancelled).
bool run_live(AppState& app, bool color) {
  using Clock = std::chrono::steady_clock;
  Aligner& aligner = *app.aligner;
  const char* name = color ? "ICP_Color" : "ICP";
  EnabledFlags before = lock_panel(app, true);
  app.run_cancel_requested = false;
  app.run_active = true;
  Clock::time_point next_events = Clock::now(), next_redraw = Clock::now();
  Clock::duration last_redraw = Clock::duration::zero();
  aligner.between_steps = [&] {
    if (app.viewer.step_pause_ms > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(app.viewer.step_pause_ms));
    const Clock::time_point now = Clock::now();
    if (!app.viewer.pump_events || now < next_events) return !app.run_cancel_requested;
    const bool redraw = app.viewer.redraw_during_runs && now >= next_redraw;
    if (redraw) set_busy(app, run_busy_line(name, color ? aligner.color : aligner.icp));
    app.viewer.pump_events(redraw);
    const Clock::time_point end = Clock::now();
    next_events = end + kEventPeriod;
    if (redraw) {
      const Clock::duration took = end - now;
      next_redraw = end + std::max<Clock::duration>(kRedrawPeriod,
                                                    kRunShare * std::min(took, last_redraw));
      last_redraw = took;
    }
    return !app.run_cancel_requested;
  };
  aligner.between_steps();  // the busy state shows before the first step
  bool ok = color ? aligner.align_color(1) : aligner.align(1);
  aligner.between_steps = nullptr;
  app.run_active = false;
  set_busy(app, "");
  unlock_panel(app, before);
  return ok;
}

}  // namespace

void align_action(AppState& app, IcpMode variant) {
  app.view_options->move_mesh2 = 0;
  if (variant != IcpMode::geometric && variant != IcpMode::color) {
    app.sync_live_all();
    return;
  }
  // From the first run on, the captions show this session's runs.
  app.stored_errors = StoredErrors();
  const bool color = variant == IcpMode::color;
  const char* name = color ? "ICP_Color" : "ICP";
  Aligner& aligner = *app.aligner;
  ControlHandles& h = app.controls;
  VariantRecord& record = color ? aligner.color : aligner.icp;
  // A failed or cancelled run changes nothing: its record goes back too, so
  // the captions and a later "Grabar" still show the last good run.
  const VariantRecord record_before = record;
  if (color) prepare_for_color_run(app);
  char outcome[96];
  if (run_live(app, color)) {
    std::fprintf(stderr, "ICP succeeded - distance = %f\n", record.error);
    std::snprintf(outcome, sizeof outcome, "%s: error %f", name, record.error);
    if (color)
      accept_result(app, app.view_state->color_icp_pose, h.pose_color_icp, app.color_run_fresh,
                    IcpMode::color);
    else
      accept_result(app, app.view_state->icp_pose, h.pose_icp, app.icp_run_fresh,
                    IcpMode::geometric);
  } else {
    record = record_before;
    std::fprintf(stderr, aligner.cancelled ? "ICP cancelled\n" : "ICP failed\n");
    std::snprintf(outcome, sizeof outcome, "%s %s", name,
                  aligner.cancelled ? "cancelado" : "fallido");
  }
  set_outcome(app, outcome);
  app.sync_live_all();
}

void forget_runs(AppState& app) {
  app.icp_run_fresh = false;
  app.color_run_fresh = false;
  disable_control(app.controls.save);
}

void prealign_action(AppState& app) {
  app.view_options->move_mesh2 = 0;
  PrealignState& state = app.prealign;
  const PoseMatrix before = app.aligner->slots[1]->pose;
  PrealignResult result;
  prealign_mesh2(*app.aligner, &result);
  state.shown = true;
  state.ok = result.ok;
  state.fitness = result.fitness;
  state.residual = result.residual;
  if (result.ok) {
    state.before = before;
    state.can_undo = true;
  }
  ControlHandles& h = app.controls;
  char text[96];
  std::snprintf(text, sizeof text, "%s: ajuste %.3f, residuo %.2f",
                result.ok ? "Verificado" : "Rechazado", result.fitness, result.residual);
  set_outcome(app, std::string("Prealinear: ") + text);
  if (h.prealign_outcome) {
    h.prealign_outcome->label = text;
    h.prealign_outcome->set_visible(true);
    if (h.panel) h.panel->notify_changed();
  }
  if (h.undo_prealign) h.undo_prealign->set_enabled(state.can_undo);
  app.sync_live_all();
}

void undo_prealign_action(AppState& app) {
  PrealignState& state = app.prealign;
  if (!state.can_undo || !app.aligner->slots[1]->mesh) return;
  app.view_options->move_mesh2 = 0;
  app.aligner->slots[1]->pose = state.before;
  set_outcome(app, "Prealinear deshecho");
  state.can_undo = false;
  disable_control(app.controls.undo_prealign);
  app.sync_live_all();
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
  if (!app.platform().save_file(kSaveResultsTitle, trial_file_filters(), &chosen)) {
    disable_control(app.controls.save);
    return;
  }
  std::string base = strip_extension(chosen);
  // A set another save or batch left half renamed there is completed first.
  complete_interrupted_sets(folder_of(chosen));
  if (write_result_files(*app.aligner, *app.view_state, base, app.color_run_fresh)) {
    disable_control(app.controls.save);
    set_outcome(app, "Grabado: " + base + ".vkl");
  } else {
    set_outcome(app, "Imposible grabar " + base + ".vkl");
  }
}

// The batch that runs between window events, with what it took away from
// the panel: every control's enabled flag before the batch.
struct RunningBatch {
  TrialBatch batch;
  bool cancel_requested = false;
  std::string base;
  uint32_t seed = 0;
  std::chrono::steady_clock::time_point start;
  EnabledFlags enabled_before;
};

namespace {

// The summary's account of a batch started from the panel.
BatchDescription panel_batch_description(const AppState& app, uint32_t seed, const TrialBatch& batch) {
  BatchDescription d;
  d.tool_version = ICP_PROJECT_VERSION;
  d.command_line = {"icp_viewer"};
  d.inputs = {app.aligner->slots[0]->file_name, app.aligner->slots[1]->file_name};
  d.seed = seed;
  d.threads = thread_count();
  d.parallel_trials = batch.trials_at_once();
  return d;
}

void end_batch(AppState& app) {
  std::shared_ptr<RunningBatch> rb = std::move(app.batch);
  bool complete = rb->batch.done();
  // The picture and tables are written while the batch still holds its log.
  bool log_ok = rb->batch.finish([&] {
    write_basin_svg(rb->base + "_basin.svg", rb->batch.records());
    write_batch_outputs(rb->base, panel_batch_description(app, rb->seed, rb->batch), rb->batch.rows());
  });
  if (!complete)
    std::printf("Ensayo cancelado: %d de %d ensayos terminados\n", rb->batch.trials_done(),
                rb->batch.count());
  std::fflush(stdout);
  const TrialCounts& c = rb->batch.counts();
  char outcome[160];
  std::snprintf(outcome, sizeof outcome,
                "%s: %d de %d ensayos. Ambos bien: %d, s\xF3lo color: %d, s\xF3lo normal: %d",
                complete ? "Aleatorio" : "Aleatorio cancelado", rb->batch.trials_done(),
                rb->batch.count(), c.both_good, c.only_color, c.only_geometric);
  set_outcome(app, outcome);
  LastBatch& last = app.last_batch;
  last.done = log_ok;
  last.counts = rb->batch.counts();
  last.trials = rb->batch.trials_done();
  last.records = rb->batch.records();
  unlock_panel(app, rb->enabled_before);
  app.sync_live_all();
}

}  // namespace

bool start_trial_batch(AppState& app) {
  if (app.batch) return false;
  if (!both_meshes_have_colors(*app.aligner)) {
    std::printf("Imposible realizar ensayo\n");
    std::fflush(stdout);
    return false;
  }
  std::string chosen;
  if (!app.platform().save_file(kSaveBatchTitle, {{"*.txt", ""}}, &chosen)) {
    app.sync_live_all();
    return false;
  }
  TrialBatchHooks hooks;
  hooks.prepare_color_features = color_features_hook(*app.view_options);
  uint32_t seed = static_cast<uint32_t>(std::time(nullptr));
  auto rb = std::make_shared<RunningBatch>();
  rb->base = strip_extension(chosen);
  rb->batch.parallel(app.parallel_batch != 0);
  rb->seed = seed;
  if (!rb->batch.start(*app.aligner, *app.view_state, rb->base, seed, kTrialCount, hooks)) {
    app.sync_live_all();
    return false;
  }
  rb->start = std::chrono::steady_clock::now();
  rb->enabled_before = lock_panel(app, true);
  app.batch = std::move(rb);
  return true;
}

bool advance_trial_batch(AppState& app) {
  if (!app.batch) return false;
  RunningBatch& rb = *app.batch;
  if (!rb.cancel_requested && !rb.batch.done()) rb.batch.step();
  if (rb.cancel_requested || rb.batch.done()) end_batch(app);
  return app.batch != nullptr;
}

void cancel_action(AppState& app) {
  if (app.batch) app.batch->cancel_requested = true;
  if (app.run_active) app.run_cancel_requested = true;
}

void close_action(AppState& app) {
  if (app.batch) {
    cancel_action(app);
    while (advance_trial_batch(app)) {
    }
  }
  if (!app.run_active && !app.loading) return;
  if (app.run_active) std::fputs("ICP cancelled\n", stderr);
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(0);
}

bool trial_batch_running(const AppState& app) { return app.batch != nullptr; }

bool trial_batch_progress(const AppState& app, BatchProgress& progress) {
  if (!app.batch) return false;
  const RunningBatch& rb = *app.batch;
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - rb.start).count();
  progress = batch_progress(rb.batch, elapsed);
  return true;
}


