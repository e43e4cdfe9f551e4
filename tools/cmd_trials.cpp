#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <string>

#include "app/AppState.h"
#include "app/alignment_actions.h"
#include "app/result_files.h"
#include "app/trial_batch.h"
#include "geometry/parallel.h"
#include "project_version.h"
#include "registration/load_scan.h"
#include "registration/prealign.h"
#include "tools/args.h"
#include "tools/commands.h"
#include "tools/trial_research.h"

namespace {

const std::string kTrialsUsage =
    std::string("usage: icp_tool trials FIXED MOVING --out RUN.txt [--count N] [--seed S] "
                "[--prealign] [--parallel] [OPTIONS]\n"
                "  --parallel         trials side by side on every core, each from a fresh\n"
                "                     state with its own sample generator (same bytes on\n"
                "                     any number of threads; not the default mode's bytes)\n") +
    kResearchUsage;
const long kMaxTrials = 100000;

struct TrialArgs {
  std::string paths[2];
  std::string out;
  long count = kTrialCount;
  long seed = -1;  // -1: the calendar time
  bool prealign = false;
  bool parallel = false;  // trials side by side, each with its own generator
  ResearchArgs research;
};

bool parse_trial_args(int argc, char** argv, TrialArgs& args) {
  std::vector<std::string> valued = {"--out", "--count", "--seed"};
  valued.insert(valued.end(), kResearchOptions.begin(), kResearchOptions.end());
  const CommandSyntax syntax{"trials", kTrialsUsage.c_str(), valued, {"--prealign", "--parallel"}, 2, 2};
  ParsedArgs parsed;
  if (!parse_args(argc, argv, syntax, parsed)) return false;
  if (!parsed.has("--out") || *parsed.value("--out") == '\0') {
    usage_error(syntax, "needs FIXED, MOVING and --out");
    return false;
  }
  args.paths[0] = parsed.positional[0];
  args.paths[1] = parsed.positional[1];
  args.out = parsed.value("--out");
  args.prealign = parsed.has("--prealign");
  args.parallel = parsed.has("--parallel");
  if (parsed.has("--count") && !parse_whole(parsed.value("--count"), 1, kMaxTrials, args.count)) {
    usage_error(syntax, "--count must be a whole number from 1 to " + std::to_string(kMaxTrials));
    return false;
  }
  if (parsed.has("--seed") && !parse_whole(parsed.value("--seed"), 0, UINT32_MAX, args.seed)) {
    usage_error(syntax, "--seed must be a whole number from 0 to " + std::to_string(UINT32_MAX));
    return false;
  }
  return parse_research_args(parsed, syntax, kMaxTrials, parsed.has("--count"), args.count,
                             args.research);
}

// What the summary says about how this batch ran.
BatchDescription describe(const TrialArgs& args, int argc, char** argv, uint32_t seed,
                          const TrialBatch& batch) {
  BatchDescription d;
  d.tool_version = ICP_PROJECT_VERSION;
  d.command_line = {"icp_tool", "trials"};
  d.command_line.insert(d.command_line.end(), argv, argv + argc);
  d.inputs = {args.paths[0], args.paths[1]};
  // Replayed starts leave the seed nothing to draw, except in parallel mode,
  // where it also seeds every trial's samples.
  d.seed = args.research.starts.empty() || args.parallel ? static_cast<long long>(seed) : -1;
  d.starts_file = args.research.starts_path;
  d.prealign = args.prealign;
  d.threads = thread_count();
  d.parallel_trials = batch.trials_at_once();
  d.rule = args.research.rule;
  return d;
}

// Loads both scans as the program's load buttons do and sets mesh 2's view
// sphere, the centre the trial rotations turn about.
bool load_pair(AppState& app, const TrialArgs& args) {
  for (int k = 0; k < 2; k++) {
    MeshSlot& slot = *app.aligner->slots[k];
    if (!load_scan(slot, k, args.paths[k])) {
      std::fprintf(stderr, "icp_tool trials: cannot read mesh %s\n", args.paths[k].c_str());
      return false;
    }
    if (slot.mesh->vertices.empty() || slot.mesh->colors.size() != slot.mesh->vertices.size()) {
      std::fprintf(stderr, "icp_tool trials: mesh %s needs vertices with colours\n",
                   args.paths[k].c_str());
      return false;
    }
  }
  app.view_state->spheres[2] = app.aligner->slots[1]->mesh->bounding_sphere;
  app.view_state->initial_pose = app.aligner->slots[1]->pose;
  app.load_stage = 2;
  return true;
}

// Runs the batch to its end. When standard error is a terminal, one line
// there shows the progress between runs: it is erased before each run, so
// the engine's own messages start at the line's beginning, and written again
// after it. Nothing extra goes to a file or pipe.
void run_with_progress(TrialBatch& batch) {
  const bool terminal = isatty(fileno(stderr)) != 0;
  const auto start = std::chrono::steady_clock::now();
  while (!batch.done()) {
    if (terminal) std::fputs("\r\033[K", stderr);
    batch.step();
    if (!terminal) continue;
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    BatchProgress p = batch_progress(batch, elapsed);
    std::fprintf(stderr, "\r\033[K%s | %s | %s", p.trial.c_str(), p.counts.c_str(),
                 p.times.c_str());
    std::fflush(stderr);
  }
  if (terminal) std::fputs("\n", stderr);
}

}  // namespace

// The trial batch without a window: the same log, per-trial files and
// console lines as the program's "Aleatorio", then one line per count and
// the pose-based outcome line. Exits 1 when the log, any trial's result
// files or the basin picture could not be written.
int cmd_trials(int argc, char** argv) {
  TrialArgs args;
  if (!parse_trial_args(argc, argv, args)) return 2;
  AppState app;
  if (!load_pair(app, args)) return 2;

  uint32_t seed = args.seed >= 0 ? static_cast<uint32_t>(args.seed)
                                 : static_cast<uint32_t>(std::time(nullptr));
  TrialBatchHooks hooks;
  hooks.prepare_color_features = color_features_hook(*app.view_options);
  if (args.prealign) hooks.prealign = [](Aligner& aligner) { return prealign_mesh2(aligner); };
  if (!add_research_hooks(*app.aligner, args.research, hooks)) return 1;
  std::string base = strip_extension(args.out);
  TrialBatch batch;
  batch.parallel(args.parallel);
  if (!batch.start(*app.aligner, *app.view_state, base, seed, static_cast<int>(args.count), hooks)) return 1;
  run_with_progress(batch);
  // A picture that could not be written fails the run like a trial's files.
  bool basin_ok = false, research_ok = false;
  bool ok = batch.finish([&] {
    basin_ok = write_basin_svg(base + "_basin.svg", batch.records());
    research_ok = write_research_outputs(args.research, base, describe(args, argc, argv, seed, batch), batch);
  });
  if (!ok) return 1;
  const TrialCounts& counts = batch.counts();
  write_trial_counts(stdout, counts);
  std::printf("%s", pose_outcome_line(batch.records(), args.research.rule).c_str());
  return counts.unsaved > 0 || !research_ok || !basin_ok ? 1 : 0;
}
