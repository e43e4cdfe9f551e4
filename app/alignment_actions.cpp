#include "app/alignment_actions.h"

#include <cstdio>
#include <ctime>

#include "app/Platform.h"
#include "app/result_files.h"
#include "app/stored_trial.h"
#include "registration/color_features.h"
#include "registration/prealign.h"

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
  if (control_enabled(other_radio)) enable_control(app.controls.save);
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
  ControlHandles& h = app.controls;
  if (id == 1) {
    if (aligner.align(1)) {
      std::fprintf(stderr, "ICP succeeded - distance = %f\n", aligner.icp.error);
      accept_result(app, app.view_state->icp_pose, h.pose_icp, h.pose_color_icp, 1);
    } else {
      std::fprintf(stderr, "ICP failed\n");
    }
  } else if (id == 2) {
    prepare_for_color_run(app);
    if (aligner.align_color(1)) {
      std::fprintf(stderr, "ICP succeeded - distance = %f\n", aligner.color.error);
      accept_result(app, app.view_state->color_icp_pose, h.pose_color_icp, h.pose_icp, 2);
    } else {
      std::fprintf(stderr, "ICP failed\n");
    }
  }
  app.sync_live_all();
}

void prealign_action(AppState& app) {
  app.view_options->move_mesh2 = 0;
  prealign_mesh2(*app.aligner);
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
  if (!app.platform().save_file(trial_file_filters(), &chosen)) {
    disable_control(app.controls.save);
    return;
  }
  if (write_result_files(app, strip_extension(chosen))) disable_control(app.controls.save);
}

void run_trial_batch(AppState& app) {
  if (!both_meshes_have_colors(*app.aligner)) {
    std::printf("Imposible realizar ensayo\n");
    std::fflush(stdout);
    return;
  }
  std::string chosen;
  if (!app.platform().save_file({{"*.txt", ""}}, &chosen)) {
    app.sync_live_all();
    return;
  }
  TrialBatchHooks hooks;
  hooks.prepare_color_features = prepare_for_color_run;
  TrialCounts counts;
  uint32_t seed = static_cast<uint32_t>(std::time(nullptr));
  if (run_trials(app, strip_extension(chosen), seed, kTrialCount, hooks, counts)) {
    app.last_batch.done = true;
    app.last_batch.counts = counts;
    app.last_batch.trials = kTrialCount;
  }
  app.sync_live_all();
}
