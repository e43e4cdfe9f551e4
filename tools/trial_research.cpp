#include "tools/trial_research.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/peer_methods.h"
#include "app/trial_outputs.h"
#include "app/trial_starts.h"

const std::vector<std::string> kResearchOptions = {"--rot-deg", "--shift-frac", "--starts",
                                                   "--export-starts", "--methods"};
const char kResearchUsage[] =
    "  --rot-deg D         pose rule: rotation error below D degrees (default 1)\n"
    "  --shift-frac F      pose rule: centre shift below F of the box diagonal (default 0.01)\n"
    "  --starts FILE       replay the start poses in FILE (4x4 matrices, row by row)\n"
    "  --export-starts FILE  write the batch's start poses to FILE at full precision\n"
    "  --methods LIST      comma-separated: icp, icp_color (always run), o3d_point_to_plane,\n"
    "                      o3d_colored (Open3D's ICPs from the same starts; default: the two)\n";

namespace {

// A threshold: a finite number above 0.
bool parse_threshold(const ParsedArgs& parsed, const CommandSyntax& syntax, const char* flag,
                     double& value) {
  const char* text = parsed.value(flag);
  if (!text) return true;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(v) || !(v > 0.0)) {
    usage_error(syntax, std::string(flag) + " must be a number above 0");
    return false;
  }
  value = v;
  return true;
}

}  // namespace

bool parse_research_args(const ParsedArgs& parsed, const CommandSyntax& syntax, long max_count,
                         bool count_given, long& count, ResearchArgs& args) {
  if (!parse_threshold(parsed, syntax, "--rot-deg", args.rule.max_degrees) ||
      !parse_threshold(parsed, syntax, "--shift-frac", args.rule.max_shift))
    return false;
  if (parsed.has("--export-starts")) args.export_path = parsed.value("--export-starts");
  std::string why;
  if (parsed.has("--methods") && !parse_method_list(parsed.value("--methods"), args.peers, why)) {
    usage_error(syntax, "--methods: " + why);
    return false;
  }
  if (!parsed.has("--starts")) return true;
  args.starts_path = parsed.value("--starts");
  if (!read_start_poses(args.starts_path, size_t(max_count), args.starts, why)) {
    std::fprintf(stderr, "icp_tool %s: %s\n", syntax.command, why.c_str());
    return false;
  }
  if (!count_given) {
    count = long(args.starts.size());
  } else if (count > long(args.starts.size())) {
    usage_error(syntax, "--count " + std::to_string(count) + " but " + args.starts_path +
                            " holds " + std::to_string(args.starts.size()) + " start poses");
    return false;
  }
  return true;
}

bool add_research_hooks(Aligner& aligner, const ResearchArgs& args, TrialBatchHooks& hooks) {
  hooks.pose_rule = args.rule;
  if (!args.starts.empty()) {
    const std::vector<PoseMatrix>* starts = &args.starts;
    hooks.start_pose = [starts](int trial) { return (*starts)[size_t(trial)]; };
  }
  std::string why;
  if (add_peer_methods(aligner, args.peers, hooks, why)) return true;
  std::fprintf(stderr, "icp_tool trials: the peer methods are not available: %s\n", why.c_str());
  return false;
}

bool write_research_outputs(const ResearchArgs& args, const std::string& base,
                            const BatchDescription& description, const TrialBatch& batch) {
  bool ok = write_batch_outputs(base, description, batch.rows());
  if (!args.export_path.empty()) {
    std::vector<PoseMatrix> starts;
    for (const TrialRow& row : batch.rows()) starts.push_back(row.start);
    ok = replace_file(args.export_path, start_poses_text(starts)) && ok;
  }
  return ok;
}
