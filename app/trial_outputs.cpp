#include "app/trial_outputs.h"

#include <cstdio>

#include "app/success_curve.h"
#include "geometry/durable_write.h"
#include "geometry/file_paths.h"

bool replace_file(const std::string& path, const std::string& text) {
  std::string why;
  if (write_file_durably(path, text, why)) return true;
  std::fprintf(stderr, "Cannot write %s: %s.\n", path.c_str(), why.c_str());
  return false;
}

std::vector<FileContent> method_pose_files(const std::string& log_path, const TrialRow& row) {
  std::vector<FileContent> files;
  const std::string base = strip_extension(log_path) + "_" + std::to_string(row.trial) + "_";
  for (const MethodRun& run : row.runs)
    if (run.method != "icp" && run.method != "icp_color")
      files.push_back({base + run.method + ".xf", pose_to_string(run.pose)});
  return files;
}

bool write_batch_outputs(const std::string& base, const BatchDescription& batch,
                         const std::vector<TrialRow>& rows) {
  bool ok = replace_file(base + "_trials.csv", trial_table_csv(rows));
  ok = replace_file(base + "_summary.json", trial_summary_json(batch, rows)) && ok;
  ok = replace_file(base + "_success.svg", success_curve_svg(success_curve(rows))) && ok;
  return ok;
}
