#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "tools/commands.h"

#ifdef ICP_HAVE_APP_LOGIC
#include "app/AppState.h"
#include "app/alignment_actions.h"
#include "app/result_files.h"
#include "app/trial_batch.h"
#include "registration/load_scan.h"
#include "registration/prealign.h"

namespace {

const char kTrialsUsage[] =
    "usage: icp_tool trials FIXED MOVING --out RUN.txt [--count N] [--seed S] [--prealign]\n";
const long kMaxTrials = 100000;

// Parses a whole decimal number in [low, high]; false otherwise.
bool parse_number(const char* text, long low, long high, long& value) {
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  value = v;
  return true;
}

struct TrialArgs {
  std::string paths[2];
  std::string out;
  long count = kTrialCount;
  long seed = -1;  // -1: the calendar time
  bool prealign = false;
};

bool parse_trial_args(int argc, char** argv, TrialArgs& args) {
  int path_count = 0;
  for (int i = 0; i < argc; i++) {
    const char* arg = argv[i];
    bool has_value = i + 1 < argc;
    if (std::strcmp(arg, "--prealign") == 0) {
      args.prealign = true;
    } else if (std::strcmp(arg, "--out") == 0 && has_value) {
      args.out = argv[++i];
    } else if (std::strcmp(arg, "--count") == 0 && has_value) {
      if (!parse_number(argv[++i], 1, kMaxTrials, args.count)) {
        std::fprintf(stderr, "icp_tool trials: --count must be a whole number from 1 to %ld\n",
                     kMaxTrials);
        return false;
      }
    } else if (std::strcmp(arg, "--seed") == 0 && has_value) {
      if (!parse_number(argv[++i], 0, UINT32_MAX, args.seed)) {
        std::fprintf(stderr, "icp_tool trials: --seed must be a whole number from 0 to %u\n",
                     UINT32_MAX);
        return false;
      }
    } else if (arg[0] == '-' && arg[1] == '-') {
      std::fprintf(stderr, "icp_tool trials: unknown or incomplete option '%s'\n", arg);
      return false;
    } else if (path_count < 2) {
      args.paths[path_count++] = arg;
    } else {
      std::fprintf(stderr, "icp_tool trials: too many files\n");
      return false;
    }
  }
  if (path_count != 2 || args.out.empty()) {
    std::fprintf(stderr, "icp_tool trials: needs FIXED, MOVING and --out\n");
    return false;
  }
  return true;
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

// Prealigns mesh 2 from the trial's perturbed start and reports it on the
// engine's channel; a refusal leaves the perturbed start.
void prealign_moving_mesh(AppState& app) {
  MeshSlot& fixed = *app.aligner->slots[0];
  MeshSlot& moving = *app.aligner->slots[1];
  PrealignResult result = prealign(*fixed.mesh, fixed.pose, *moving.mesh, moving.pose);
  std::fputs(prealign_report_line(result).c_str(), stderr);
  moving.pose = result.pose;
}

}  // namespace

// The trial batch without a window: the same log, per-trial files and
// console lines as the program's "Aleatorio", then one line per count.
int cmd_trials(int argc, char** argv) {
  TrialArgs args;
  if (!parse_trial_args(argc, argv, args)) {
    std::fprintf(stderr, "%s", kTrialsUsage);
    return 2;
  }
  AppState app;
  if (!load_pair(app, args)) return 2;

  uint32_t seed = args.seed >= 0 ? static_cast<uint32_t>(args.seed)
                                 : static_cast<uint32_t>(std::time(nullptr));
  TrialBatchHooks hooks;
  hooks.prepare_color_features = prepare_for_color_run;
  if (args.prealign) hooks.prealign = prealign_moving_mesh;
  TrialCounts counts;
  std::string base = strip_extension(args.out);
  if (!run_trials(app, base, seed, static_cast<int>(args.count), hooks, counts)) return 1;
  std::printf("Ambos bien: %d\n", counts.both_good);
  std::printf("S\xF3lo color: %d\n", counts.only_color);
  std::printf("S\xF3lo normal: %d\n", counts.only_geometric);
  return 0;
}

#else

int cmd_trials(int, char**) {
  std::fprintf(stderr, "icp_tool trials: this build has no application layer\n");
  return 2;
}

#endif
