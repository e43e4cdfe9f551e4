// The "ICP" group end to end on a small generated scan pair: the state table
// of the align buttons and the pose radio group, saving and loading a stored
// trial back (with every failure leaving the slots as they were), and a short
// trial batch.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/alignment_actions.h"
#include "app/load_mesh.h"
#include "app/mouse_input.h"
#include "app/result_files.h"
#include "app/run_preview.h"
#include "app/stored_trial.h"
#include "app/view_setup.h"
#include "geometry/durable_write.h"
#include "geometry/parallel.h"
#include "support.h"
#include "tools/scan_generator.h"

namespace {

// A small wavy pair written once per test process (CTest runs each test in
// its own process, in parallel, so the folder is the process's own).
const std::string& pair_dir() {
  static std::string dir = [] {
    std::string d = tmp_dir("actions_pair_" + std::to_string(getpid()));
    ScanPairOptions options;
    options.vertices = 2500;
    options.seed = 3;
    ScanPair pair;
    std::string why;
    EXPECT_TRUE(write_scan_pair(options, d, pair, why)) << why;
    return d;
  }();
  return dir;
}

// A whole batch at once: start, then step until it ends. False when the
// batch could not start or its log was not kept whole.
bool run_trials(AppState& app, const std::string& base, uint32_t seed, int count,
                const TrialBatchHooks& hooks, TrialCounts& counts) {
  TrialBatch batch;
  counts = TrialCounts();
  if (!batch.start(*app.aligner, *app.view_state, base, seed, count, hooks)) return false;
  while (!batch.done()) batch.step();
  const bool ok = batch.finish();
  counts = batch.counts();
  return ok;
}

class AlignmentActions : public PanelTest {
 protected:
  void load_pair() {
    ASSERT_TRUE(load_mesh_path(app, 0, pair_dir() + "/mesh1.ply"));
    ASSERT_TRUE(load_mesh_path(app, 1, pair_dir() + "/mesh2.ply"));
  }
  // Moves mesh 2 away from its file pose by a small rigid motion.
  void perturb_mesh2() {
    slot(1).pose = translation(0.004, -0.003, 0.002) * rotation(0.05, 0, 1, 0) * slot(1).pose;
    app.view_state->initial_pose = slot(1).pose;
  }
};

}  // namespace

TEST_F(AlignmentActions, ButtonsFollowTheStateTable) {
  load_pair();
  PoseMatrix truth = slot(1).pose;
  perturb_mesh2();
  PoseMatrix start = slot(1).pose;
  app.view_options->move_mesh2 = 1;

  align_action(app, IcpMode::geometric);
  EXPECT_EQ(app.view_options->move_mesh2, 0);
  EXPECT_EQ(app.shown_pose, 1);
  EXPECT_TRUE(h().pose_icp->enabled);
  EXPECT_FALSE(h().pose_color_icp->enabled);
  EXPECT_FALSE(h().save->enabled);  // only one variant has a result
  EXPECT_TRUE(poses_near(slot(1).pose, truth, 1e-3));
  EXPECT_TRUE(poses_near(app.view_state->icp_pose, slot(1).pose, 0.0));

  // The colour run starts from the geometric result; ridges and valleys stay
  // unchecked although the marks cover both.
  align_action(app, IcpMode::color);
  EXPECT_EQ(app.shown_pose, 2);
  EXPECT_TRUE(h().pose_color_icp->enabled);
  EXPECT_TRUE(h().save->enabled);
  EXPECT_EQ(app.view_options->show_ridges, 0);
  EXPECT_EQ(app.view_options->show_valleys, 0);
  EXPECT_EQ(slot(0).feature_marks.size(), slot(0).mesh->vertices.size());

  // The radio group only moves mesh 2 between the stored poses.
  app.shown_pose = 0;
  pose_shown_action(app);
  EXPECT_TRUE(poses_near(slot(1).pose, start, 0.0));
  app.shown_pose = 1;
  pose_shown_action(app);
  EXPECT_TRUE(poses_near(slot(1).pose, app.view_state->icp_pose, 0.0));
  app.shown_pose = 7;
  pose_shown_action(app);
  EXPECT_TRUE(poses_near(slot(1).pose, app.view_state->icp_pose, 0.0));
}

TEST_F(AlignmentActions, FailedRunChangesNothingButMoveMesh2) {
  load_pair();
  slot(1).pose = translation(100, 0, 0) * slot(1).pose;  // no overlap at all
  PoseMatrix before = slot(1).pose;
  app.view_options->move_mesh2 = 1;
  // The record of an earlier good run stays what the captions and "Grabar" show.
  app.aligner->icp.history = {0.5f, 0.25f};
  app.aligner->icp.error = 0.25f;
  align_action(app, IcpMode::geometric);
  EXPECT_EQ(app.view_options->move_mesh2, 0);
  EXPECT_EQ(app.shown_pose, 0);
  EXPECT_FALSE(h().pose_icp->enabled);
  EXPECT_TRUE(poses_near(slot(1).pose, before, 0.0));
  EXPECT_EQ(app.aligner->icp.history, (std::vector<float>{0.5f, 0.25f}));
  EXPECT_EQ(app.aligner->icp.error, 0.25f);
}

// While a single run goes on the view draws the scans above the window's
// threshold as their preview (each redraw the run asks for sees that), and
// the whole meshes again once it has ended.
TEST_F(AlignmentActions, RunDrawsLargeScansAsTheirPreviewUntilItEnds) {
  load_pair();
  const size_t largest =
      std::max(slot(0).mesh->vertices.size(), slot(1).mesh->vertices.size());
  for (size_t above : {size_t(0), largest}) {
    perturb_mesh2();
    app.viewer.preview_above = above;
    std::vector<std::pair<bool, bool>> redraws;
    app.viewer.pump_events = [&](bool redraw) {
      if (redraw) redraws.emplace_back(drawn_as_preview(app, slot(0)), drawn_as_preview(app, slot(1)));
    };
    EXPECT_FALSE(drawn_as_preview(app, slot(1)));
    align_action(app, IcpMode::geometric);
    ASSERT_FALSE(redraws.empty()) << "the run asked for no redraw";
    const bool large = above < largest;
    for (const auto& [first, second] : redraws) {
      EXPECT_EQ(first, large) << "threshold " << above;
      EXPECT_EQ(second, large) << "threshold " << above;
    }
    EXPECT_FALSE(drawn_as_preview(app, slot(0)) || drawn_as_preview(app, slot(1)));
  }
  // Turned off (for timing a run without them), a run asks for no redraw.
  perturb_mesh2();
  app.viewer.redraw_during_runs = false;
  std::vector<bool> asked;
  app.viewer.pump_events = [&](bool redraw) { asked.push_back(redraw); };
  align_action(app, IcpMode::geometric);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), true), 0);
  EXPECT_FALSE(asked.empty()) << "the run took no input";
}

// "Prealinear" acts like a manual move that lands near the truth: from a
// start turned by 120 degrees mesh 2 comes back within a few millimetres
// (the pair is 0.2 m across), while the start pose, the radio group and the
// result buttons stay as they were; the panel says it was verified, and
// "Deshacer" puts mesh 2 back at the turned start. A refusal (mesh 2 cut to a
// few points) moves nothing, says so, and leaves "Deshacer" unusable.
TEST_F(AlignmentActions, PrealignMovesMesh2LikeAManualMoveAndUndoes) {
  load_pair();
  PoseMatrix truth = slot(1).pose;
  PoseMatrix initial = app.view_state->initial_pose;
  const PoseMatrix turned = translation(0.1, 0.05, 0) * rotation(2.1, 1, 0, 1) * truth;
  slot(1).pose = turned;
  app.view_options->move_mesh2 = 1;
  EXPECT_FALSE(h().prealign_outcome->visible);
  prealign_action(app);
  EXPECT_EQ(app.view_options->move_mesh2, 0);
  EXPECT_TRUE(poses_near(slot(1).pose, truth, 0.005));
  EXPECT_TRUE(poses_near(app.view_state->initial_pose, initial, 0.0));
  EXPECT_EQ(app.shown_pose, 0);
  EXPECT_FALSE(h().pose_icp->enabled);
  EXPECT_FALSE(h().save->enabled);
  EXPECT_TRUE(h().prealign_outcome->visible);
  EXPECT_EQ(h().prealign_outcome->label.rfind("Verificado: ajuste ", 0), 0u)
      << h().prealign_outcome->label;
  ASSERT_TRUE(h().undo_prealign->enabled);
  undo_prealign_action(app);
  EXPECT_TRUE(poses_near(slot(1).pose, turned, 0.0));
  EXPECT_FALSE(h().undo_prealign->enabled);

  slot(1).mesh->vertices.resize(12);
  prealign_action(app);
  EXPECT_TRUE(poses_near(slot(1).pose, turned, 0.0));
  EXPECT_EQ(h().prealign_outcome->label.rfind("Rechazado: ", 0), 0u) << h().prealign_outcome->label;
  EXPECT_FALSE(h().undo_prealign->enabled);
}

// A trial whose prealignment refuses runs neither ICP: both its errors are
// logged as the unset error, it counts as good for neither variant, and the
// console's last line says how many trials were refused.
TEST_F(AlignmentActions, RefusedPrealignmentLogsUnsetErrors) {
  load_pair();
  std::string dir = tmp_dir("actions_refused");
  TrialBatchHooks hooks;
  hooks.prepare_color_features = color_features_hook(*app.view_options);
  int calls = 0;
  // The second trial refuses, leaving mesh 2 at its file pose, where an ICP
  // would converge at once: a run made anyway would log a small error.
  const PoseMatrix truth = slot(1).pose;
  hooks.prealign = [&](Aligner& aligner) {
    if (++calls != 2) return true;
    aligner.slots[1]->pose = truth;
    return false;
  };
  TrialCounts counts;
  app.aligner->icp.history.clear();
  testing::internal::CaptureStdout();
  ASSERT_TRUE(run_trials(app, dir + "/run", 7, 2, hooks, counts));
  std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(counts.refused, 1);
  EXPECT_EQ(counts.both_good + counts.only_color + counts.only_geometric, 1);
  std::string log = read_bytes(dir + "/run.txt");
  EXPECT_NE(log.find("\nEnsayo 2, error: 999999.000000\terror: 999999.000000\n"), std::string::npos)
      << log;
  const std::string last = "Prealignment refused for 1 of 2 trials.\n";
  ASSERT_GE(console.size(), last.size());
  EXPECT_EQ(console.substr(console.size() - last.size()), last);
}

TEST_F(AlignmentActions, SaveThenLoadTrialRoundTrip) {
  load_pair();
  perturb_mesh2();
  align_action(app, IcpMode::geometric);
  align_action(app, IcpMode::color);
  ASSERT_TRUE(h().save->enabled);

  std::string dir = tmp_dir("actions_save");
  scripted.answers = {dir + "/result.txt"};  // another extension still writes result.vkl
  save_results(app);
  EXPECT_FALSE(h().save->enabled);
  for (const char* suffix : {".vkl", "_PosInicial.xf", "_PosICP.xf", "_PosICPcolor.xf", "_error.xls"})
    EXPECT_FALSE(read_bytes(dir + "/result" + suffix).empty()) << suffix;
  ViewState saved = *app.view_state;

  // A fresh program state with its own panel, then load the trial back.
  AppState back;
  back.dialogs = &scripted;
  ControlPanel fresh_panel;
  build_control_panel(fresh_panel, back);
  scripted.answers = {dir + "/result.vkl"};
  ASSERT_TRUE(load_trial(back));
  EXPECT_EQ(back.shown_pose, 0);
  EXPECT_TRUE(back.controls.pose_icp->enabled);
  EXPECT_TRUE(back.controls.pose_color_icp->enabled);
  EXPECT_FALSE(back.controls.save->enabled);  // a load needs two new runs to save again
  EXPECT_TRUE(poses_near(back.view_state->initial_pose, saved.initial_pose, 1e-5));
  EXPECT_TRUE(poses_near(back.view_state->icp_pose, saved.icp_pose, 1e-5));
  EXPECT_TRUE(poses_near(back.view_state->color_icp_pose, saved.color_icp_pose, 1e-5));
  EXPECT_TRUE(poses_near(back.aligner->slots[1]->pose, back.view_state->initial_pose, 0.0));
  // The summary names the meshes relative to its folder.
  EXPECT_TRUE(std::filesystem::equivalent(back.aligner->slots[0]->file_name, pair_dir() + "/mesh1.ply"));
  EXPECT_TRUE(std::filesystem::equivalent(back.aligner->slots[1]->file_name, pair_dir() + "/mesh2.ply"));
  EXPECT_EQ(back.load_stage, 2);
  // The captions show the stored errors, not runs of this session.
  char printed[2][32];
  std::snprintf(printed[0], 32, "%f", app.aligner->icp.error);
  std::snprintf(printed[1], 32, "%f", app.aligner->color.error);
  EXPECT_TRUE(back.stored_errors.shown);
  EXPECT_EQ(back.stored_errors.icp, printed[0]);
  EXPECT_EQ(back.stored_errors.color, printed[1]);
  EXPECT_TRUE(back.aligner->icp.history.empty());

  // The loaded colour result is no run of this session: one new run cannot
  // save it beside a fresh geometric one; a reset forgets the runs too.
  align_action(back, IcpMode::geometric);
  EXPECT_FALSE(back.controls.save->enabled);
  align_action(back, IcpMode::color);
  EXPECT_TRUE(back.controls.save->enabled);
  reset_view(back);
  EXPECT_FALSE(back.controls.save->enabled);
  align_action(back, IcpMode::color);
  EXPECT_FALSE(back.controls.save->enabled);
  EXPECT_FALSE(back.stored_errors.shown);  // the runs replaced the stored errors
}

// Scans without colours: the geometric run alone may be saved; the colour
// files then say the variant was not run (replacing an older colour result
// of the same name), and loading the set back leaves "ICP_COLOR" unusable.
TEST_F(AlignmentActions, ColourlessScansSaveTheGeometricRunAlone) {
  load_pair();
  perturb_mesh2();
  std::string dir = tmp_dir("actions_colourless");
  ASSERT_TRUE(write_result_files(*app.aligner, *app.view_state, dir + "/result"));  // an older set at that name
  for (int k = 0; k < 2; k++) slot(k).mesh->colors.clear();
  align_action(app, IcpMode::geometric);
  ASSERT_TRUE(h().save->enabled);
  scripted.answers = {dir + "/result.vkl"};
  save_results(app);
  EXPECT_FALSE(h().save->enabled);
  const std::string summary = read_bytes(dir + "/result.vkl");
  EXPECT_EQ(summary.substr(summary.rfind("Error ICP Color:")), "Error ICP Color:\tsin ejecutar\n");
  EXPECT_EQ(read_bytes(dir + "/result_PosICPcolor.xf"), "sin ejecutar\n");
  // Every row of the table: the index, a geometric error, five empty cells.
  std::istringstream table(read_bytes(dir + "/result_error.xls"));
  std::string row;
  std::getline(table, row);
  int rows = 0;
  for (; std::getline(table, row); rows++)
    EXPECT_EQ(row.substr(row.find('\t', row.find('\t') + 1)), "\t\t\t\t\t") << row;
  EXPECT_EQ(rows, int(app.aligner->icp.history.size()));

  scripted.answers = {dir + "/result.vkl"};
  ASSERT_TRUE(load_trial(app));
  EXPECT_TRUE(h().pose_icp->enabled);
  EXPECT_FALSE(h().pose_color_icp->enabled);
  EXPECT_EQ(app.stored_errors.color, "sin ejecutar");
  EXPECT_TRUE(poses_near(app.view_state->color_icp_pose, app.view_state->initial_pose, 0.0));
}

TEST_F(AlignmentActions, EveryLoadTrialFailureLeavesTheSlotsAsBefore) {
  load_pair();
  perturb_mesh2();
  const PoseMatrix pose_before = slot(1).pose;
  const size_t vertices_before = slot(1).mesh->vertices.size();
  // Settings a reload would reset to their defaults.
  app.appearance[0].wireframe = 1;
  slot(0).color_tolerance = 9.0f;
  std::string dir = tmp_dir("actions_fail");
  ASSERT_TRUE(write_result_files(*app.aligner, *app.view_state, dir + "/good"));

  // What the panel shows of the runs so far, and its usable controls.
  app.aligner->icp.history = {5.0f};
  h().pose_icp->enable();
  auto unchanged = [&] {
    return app.aligner->icp.history.size() == 1 && h().pose_icp->enabled && h().icp->enabled &&
           h().appearance[0]->enabled && h().appearance[1]->enabled && app.load_stage == 2 &&
           slot(0).file_name == pair_dir() + "/mesh1.ply" &&
           slot(1).file_name == pair_dir() + "/mesh2.ply" && slot(1).mesh &&
           slot(1).mesh->vertices.size() == vertices_before && poses_near(slot(1).pose, pose_before, 0.0) &&
           app.appearance[0].wireframe == 1 && slot(0).color_tolerance == 9.0f;
  };
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
    return dir + "/" + name;
  };

  scripted.answers = {"cancel"};
  EXPECT_FALSE(load_trial(app));
  EXPECT_TRUE(unchanged());

  // A summary that has lost a pose file fails before any mesh is touched.
  std::string lonely = write("lonely.vkl", read_bytes(dir + "/good.vkl"));
  scripted.answers = {lonely};
  EXPECT_FALSE(load_trial(app));
  EXPECT_TRUE(unchanged());

  // Fewer than four words.
  scripted.answers = {write("short.vkl", "Archivos\n")};
  EXPECT_FALSE(load_trial(app));
  EXPECT_TRUE(unchanged());

  // Missing mesh 1, user answers No.
  auto with_meshes = [&](const std::string& name, const std::string& m1, const std::string& m2) {
    std::string base = dir + "/" + name;
    write(name + ".vkl", "Archivos alineados:\n\n" + m1 + "\n" + m2 + "\n\nrest\n");
    for (const char* suffix : {"_PosInicial.xf", "_PosICP.xf", "_PosICPcolor.xf"})
      write_pose(identity(), base + suffix);
    return base + ".vkl";
  };
  scripted.answers = {with_meshes("nomesh1", dir + "/gone1.ply", pair_dir() + "/mesh2.ply"), "no"};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(load_trial(app));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nCancelado por el usuario");
  ASSERT_EQ(scripted.calls.back().kind, "ask_yes_no");
  EXPECT_EQ(scripted.calls.back().title, "Error de lectura");
  EXPECT_EQ(scripted.calls.back().text,
            "Imposible abrir el fichero: " + dir + "/gone1.ply\n\xBF" "Desea buscarlo manualmente?");
  EXPECT_TRUE(unchanged());

  // Mesh 1 reloads, mesh 2 is missing and the user answers No: both restored.
  scripted.answers = {with_meshes("nomesh2", pair_dir() + "/mesh1.ply", dir + "/gone2.ply"), "no"};
  EXPECT_FALSE(load_trial(app));
  EXPECT_EQ(scripted.calls.back().text,
            "Imposible abrir el fichero " + dir + "/gone2.ply\n\xBF" "Desea buscarlo manualmente?");
  EXPECT_TRUE(unchanged());

  // Mesh 2 missing, Yes, then the dialog is cancelled: both restored.
  scripted.answers = {dir + "/nomesh2.vkl", "yes", "cancel"};
  EXPECT_FALSE(load_trial(app));
  EXPECT_TRUE(unchanged());
}

TEST_F(AlignmentActions, TrialBatchWritesLogCountsAndFiles) {
  testing::internal::CaptureStdout();
  EXPECT_FALSE(start_trial_batch(app));  // no meshes yet
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Imposible realizar ensayo\n");
  EXPECT_TRUE(scripted.calls.empty());  // no dialog was shown

  load_pair();
  std::string dir = tmp_dir("actions_batch");
  TrialBatchHooks hooks;
  int preparations = 0;
  hooks.prepare_color_features = [&](Aligner& a) {
    preparations++;
    color_features_hook(*app.view_options)(a);
  };
  TrialCounts counts;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(run_trials(app, dir + "/run", 7, 2, hooks, counts));
  std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(console.substr(0, 27), "posicion inicial\n\nEnsayo 0\n");
  EXPECT_NE(console.find("COLOR 1\n"), std::string::npos);
  EXPECT_EQ(preparations, 2);  // the colour runs see the marks a user's run sees

  std::string log = read_bytes(dir + "/run.txt");
  EXPECT_EQ(log.compare(0, 18, "Ensayo 1, error: 0"), 0) << log;
  EXPECT_NE(log.find("\nEnsayo 2, error: "), std::string::npos);
  std::string tail = "Ambos bien: " + std::to_string(counts.both_good) + "\nS\xF3lo color: " +
                     std::to_string(counts.only_color) + "\nS\xF3lo normal: " +
                     std::to_string(counts.only_geometric) + "\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
  EXPECT_LE(counts.both_good + counts.only_color + counts.only_geometric, 2);
  for (int trial = 1; trial <= 2; trial++)
    EXPECT_FALSE(read_bytes(dir + "/run_" + std::to_string(trial) + "_error.xls").empty());

  // A log that cannot be created stops the batch before any alignment.
  app.aligner->icp.history.clear();
  EXPECT_FALSE(run_trials(app, "/nonexistent-folder/run", 7, 2, hooks, counts));
  EXPECT_TRUE(app.aligner->icp.history.empty());
}

// A batch stopped between the two runs of its second trial: the log holds the
// finished trial's whole line and the count lines, the finished trial has its
// five files, the unfinished one none, and the progress reflects 3 of 6 runs.
// Until its first trial ends the previous log stays whole, and afterwards the
// log on disk is always a whole prefix (as a kill would leave it); a second
// batch into the same log is refused while the first runs.
TEST_F(AlignmentActions, StoppedBatchKeepsFinishedTrialsComplete) {
  load_pair();
  std::string dir = tmp_dir("actions_stopped_" + std::to_string(getpid()));
  std::ofstream(dir + "/run.txt") << "previous log\n";
  TrialBatchHooks hooks;
  hooks.prepare_color_features = color_features_hook(*app.view_options);
  TrialBatch batch, rival;
  // A file system without room for three trials' files (bytes, then files)
  // refuses the batch with the numbers, before the log is touched.
  for (DiskSpaceQuery full : {+[](const std::string&, DiskSpace& s) { return s.free_bytes = 100000, s.free_files = 99, true; },
                              +[](const std::string&, DiskSpace& s) { return s.free_bytes = 1 << 30, s.free_files = 14, true; }}) {
    set_disk_space_query(full);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(rival.start(*app.aligner, *app.view_state, dir + "/run", 7, 3, hooks));
    std::string said = testing::internal::GetCapturedStderr();
    set_disk_space_query(nullptr);
    EXPECT_NE(said.find("Cannot run 3 trials into " + dir + "/run.txt: their files need about 120 KB and 15 files"),
              std::string::npos) << said;
    EXPECT_EQ(read_bytes(dir + "/run.txt"), "previous log\n");
  }
  testing::internal::CaptureStdout();
  ASSERT_TRUE(batch.start(*app.aligner, *app.view_state, dir + "/run", 7, 3, hooks));
  EXPECT_FALSE(rival.start(*app.aligner, *app.view_state, dir + "/run", 8, 3, hooks));
  batch.step();
  EXPECT_EQ(read_bytes(dir + "/run.txt"), "previous log\n");
  for (int run = 1; run < 3; run++) batch.step();
  std::string prefix = read_bytes(dir + "/run.txt");
  EXPECT_EQ(std::count(prefix.begin(), prefix.end(), '\n'), 1) << prefix;
  EXPECT_EQ(prefix.compare(0, 9, "Ensayo 1,"), 0) << prefix;
  BatchProgress progress = batch_progress(batch, 30.0);
  // The files written beside the log are written while the log is held.
  bool rival_started = true;
  ASSERT_TRUE(batch.finish([&] {
    rival_started = rival.start(*app.aligner, *app.view_state, dir + "/run", 8, 3, hooks);
  }));
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(rival_started);

  EXPECT_EQ(progress.trial, "Ensayo 2 / 3");
  EXPECT_EQ(progress.times, "Transcurrido 30 s, quedan 30 s");
  std::string log = read_bytes(dir + "/run.txt");
  ASSERT_EQ(std::count(log.begin(), log.end(), '\n'), 4) << log;
  EXPECT_EQ(log.compare(0, 17, "Ensayo 1, error: "), 0);
  EXPECT_NE(log.find("\terror: "), std::string::npos);
  EXPECT_EQ(log.find("Ensayo 2"), std::string::npos);
  EXPECT_EQ(log.compare(0, prefix.size(), prefix), 0);
  // The lock is gone with the batch: another may take the log now.
  EXPECT_FALSE(std::ifstream(dir + "/run.txt.lock").good());
  for (const char* f : {".vkl", "_PosInicial.xf", "_PosICP.xf", "_PosICPcolor.xf", "_error.xls"}) {
    EXPECT_FALSE(read_bytes(dir + "/run_1" + f).empty()) << f;
    EXPECT_TRUE(read_bytes(dir + "/run_2" + f).empty()) << f;
  }
  ASSERT_EQ(batch.records().size(), 1u);
  // Three whole-degree turns of at most 25 degrees each.
  EXPECT_GT(batch.records()[0].start_degrees, 0.0);
  EXPECT_LE(batch.records()[0].start_degrees, 75.0);
}

// The parallel mode: the same seed gives the same log and result files on 1,
// 2 and 3 threads, whatever overlap weights earlier runs left in the engine
// (every trial starts from the reference's), the log lists the trials in
// order, and a batch finished after its first two trials (its workers may
// have finished later ones) keeps exactly those two, with the files the
// whole batch gives them: a trial's outcome depends on the seed and its
// number alone.
TEST_F(AlignmentActions, ParallelBatchGivesTheSameBytesOnAnyThreadCount) {
  load_pair();
  const PoseMatrix reference = slot(1).pose;
  const std::string dir = tmp_dir("actions_parallel_" + std::to_string(getpid()));
  TrialBatchHooks hooks;
  hooks.prepare_color_features = color_features_hook(*app.view_options);
  struct Output {
    std::string log;
    std::vector<std::string> trials;  // each trial's five files, joined
  };
  // Runs 4 trials on `threads` threads, finishing after `steps` of them.
  auto run = [&](int threads, int steps) {
    set_thread_count(threads);
    slot(1).pose = reference;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    TrialBatch batch;
    batch.parallel(true);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(batch.start(*app.aligner, *app.view_state, dir + "/run", 7, 4, hooks));
    for (int t = 0; t < steps; t++) batch.step();
    EXPECT_TRUE(batch.finish());
    testing::internal::GetCapturedStdout();
    set_thread_count(0);
    EXPECT_EQ(batch.records().size(), size_t(steps));
    Output out{read_bytes(dir + "/run.txt"), {}};
    for (int trial = 1; trial <= 4; trial++) {
      std::string files;
      for (const char* kind : {".vkl", "_PosInicial.xf", "_PosICP.xf", "_PosICPcolor.xf", "_error.xls"})
        files += read_bytes(dir + "/run_" + std::to_string(trial) + kind) + "|";
      out.trials.push_back(files);
    }
    return out;
  };
  const Output one = run(1, 4);
  size_t at = 0;
  for (const char* line : {"Ensayo 1, ", "\nEnsayo 2, ", "\nEnsayo 3, ", "\nEnsayo 4, ", "\nAmbos bien"}) {
    at = one.log.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << " in order in\n" << one.log;
  }
  for (int threads : {2, 3}) {
    // Every other vertex in the overlap, starting at the first or second.
    std::vector<float> left[2];
    for (int k = 0; k < 2; k++) {
      left[k].assign(slot(k).mesh->vertices.size(), 0.0f);
      for (size_t v = size_t(threads % 2); v < left[k].size(); v += 2) left[k][v] = 1.0f;
      slot(k).weights = left[k];
    }
    const Output other = run(threads, 4);
    EXPECT_EQ(other.log, one.log) << threads << " threads";
    EXPECT_EQ(other.trials, one.trials) << threads << " threads";
    EXPECT_TRUE(slot(0).weights == left[0] && slot(1).weights == left[1]);
  }

  const Output stopped = run(2, 2);
  const size_t third = one.log.find("Ensayo 3");
  EXPECT_EQ(stopped.log.substr(0, third), one.log.substr(0, third));
  EXPECT_EQ(stopped.log.find("Ensayo 3"), std::string::npos);
  EXPECT_EQ(std::count(stopped.log.begin(), stopped.log.end(), '\n'), 5) << stopped.log;
  EXPECT_EQ(stopped.trials[0], one.trials[0]);
  EXPECT_EQ(stopped.trials[1], one.trials[1]);
  EXPECT_EQ(stopped.trials[2], "|||||");
  EXPECT_EQ(stopped.trials[3], "|||||");
}

// The live batch: while it runs only "Cancelar" is usable (and shown), a
// second start is refused, and a "Mover malla2" drag leaves mesh 2's pose to
// the batch; cancelled after its first run it reports so, closes the log with
// zero counts, writes the basin picture, and gives the panel back as it was.
TEST_F(AlignmentActions, LiveBatchLocksThePanelUntilCancelled) {
  load_pair();
  const ControlHandles& h = app.controls;
  std::vector<std::pair<Control*, bool>> before;
  for (Control* c : h.panel->all_controls()) before.emplace_back(c, c->enabled);
  std::string dir = tmp_dir("actions_live_" + std::to_string(getpid()));
  scripted.answers.push_back(dir + "/live.txt");
  app.view_options->move_mesh2 = 1;

  app.viewer.preview_above = 0;  // every scan is large: a preview while the batch runs

  testing::internal::CaptureStdout();
  ASSERT_TRUE(start_trial_batch(app));
  EXPECT_FALSE(start_trial_batch(app));
  EXPECT_TRUE(drawn_as_preview(app, slot(1)));
  EXPECT_TRUE(h.cancel->visible);
  for (Control* c : h.panel->all_controls())
    EXPECT_EQ(c->enabled, c == h.cancel) << c->label;
  EXPECT_TRUE(advance_trial_batch(app));
  const PoseMatrix pose = slot(1).pose;
  FakeDevice device;
  ButtonMask mask;
  mouse_button(app, device, mask, 0, true, 400, 300);
  mouse_motion(app, device, mask, 400, 360);
  mouse_button(app, device, mask, 0, false, 400, 360);
  EXPECT_TRUE(poses_near(slot(1).pose, pose, 0.0));
  cancel_action(app);
  EXPECT_FALSE(advance_trial_batch(app));
  std::string console = testing::internal::GetCapturedStdout();

  EXPECT_NE(console.find("Ensayo cancelado: 0 de 100 ensayos terminados\n"), std::string::npos);
  EXPECT_FALSE(trial_batch_running(app));
  EXPECT_FALSE(drawn_as_preview(app, slot(1)));
  EXPECT_FALSE(h.cancel->visible);
  for (auto& [control, enabled] : before) EXPECT_EQ(control->enabled, enabled) << control->label;
  EXPECT_EQ(read_bytes(dir + "/live.txt"), "Ambos bien: 0\nS\xF3lo color: 0\nS\xF3lo normal: 0\n");
  EXPECT_NE(read_bytes(dir + "/live_basin.svg").find("<svg"), std::string::npos);
}
