#include "app/trial_table.h"

#include <cmath>
#include <cstdio>

#include "app/trial_batch.h"

namespace {

void append_number(std::string& out, const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  out += text;
}

}  // namespace

void PoseScorer::score(const PoseMatrix& pose, MethodRun& run) const {
  const PoseOffset offset = pose_offset(reference, pose, box_centre);
  run.pose = pose;
  run.rotation_error_deg = offset.degrees;
  run.translation_error = diagonal > 0 ? offset.shift / diagonal : 0.0;
  run.recovered = pose_recovered(offset, diagonal, rule);
}

bool engine_error_is_set(float error) { return std::isfinite(error) && error != kTrialUnsetError; }

std::string trial_table_csv(const std::vector<TrialRow>& rows) {
  std::string out =
      "trial,method,start_rotation_deg,start_shift,final_error,rotation_error_deg,"
      "translation_error,iterations,milliseconds,good_by_error,recovered,prealign\n";
  for (const TrialRow& row : rows)
    for (const MethodRun& run : row.runs) {
      out += std::to_string(row.trial) + "," + run.method + ",";
      append_number(out, "%.9g,", row.start_rotation_deg);
      append_number(out, "%.9g,", row.start_shift);
      // The log's own text for the error (%lf of the float), so the two agree.
      if (run.has_error) append_number(out, "%f", double(run.final_error));
      out += ",";
      append_number(out, "%.9g,", run.rotation_error_deg);
      append_number(out, "%.9g,", run.translation_error);
      out += std::to_string(run.iterations) + ",";
      append_number(out, "%.3f,", run.milliseconds);
      out += run.good_by_error ? "1," : "0,";
      out += run.recovered ? "1," : "0,";
      out += row.prealign + "\n";
    }
  return out;
}
