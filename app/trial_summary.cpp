#include "app/trial_summary.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "app/file_digest.h"
#include "app/success_curve.h"

using Json = nlohmann::ordered_json;

namespace {

const double kZ95 = 1.959963984540054;  // two-sided 95 % normal quantile

Json input_entry(const std::string& path) {
  Json entry = {{"path", path}};
  std::string hex;
  uint64_t size = 0;
  if (file_sha256(path, hex, size)) {
    entry["size"] = size;
    entry["sha256"] = hex;
  } else {
    entry["size"] = nullptr;
    entry["sha256"] = nullptr;
  }
  return entry;
}

Json share(int successes, int n) {
  double low, high;
  wilson_interval(successes, n, low, high);
  return {{"successes", successes},
          {"rate", n ? double(successes) / n : 0.0},
          {"interval95", {low, high}}};
}

// Per-method figures over all rows; `m` indexes the rows' runs.
Json method_entry(const std::vector<TrialRow>& rows, size_t m, const SuccessCurve& curve) {
  int good = 0, recovered = 0, n = 0;
  std::vector<double> ms;
  for (const TrialRow& row : rows) {
    if (m >= row.runs.size()) continue;
    const MethodRun& run = row.runs[m];
    n++;
    good += run.good_by_error ? 1 : 0;
    recovered += run.recovered ? 1 : 0;
    ms.push_back(run.milliseconds);
  }
  Json bins = Json::array();
  for (int b = 0; b < kCurveBins; b++) {
    const MethodCurve& c = curve.methods[m];
    Json bin = {{"start_rotation_deg", curve_bin_label(b)},
                {"from_deg", b == 0 ? 0.0 : kCurveBinEdges[b - 1]},
                {"to_deg", b < kCurveBins - 1 ? Json(kCurveBinEdges[b]) : Json(nullptr)},
                {"trials", curve.trials[b]},
                {"recovered", c.recovered[b]},
                {"good_by_error", c.good_by_error[b]}};
    bin["rate"] = curve.trials[b] ? Json(curve.rate(m, b)) : Json(nullptr);
    bins.push_back(bin);
  }
  return {{"method", curve.methods[m].method},
          {"trials", n},
          {"good_by_error", share(good, n)},
          {"recovered", share(recovered, n)},
          {"milliseconds", {{"median", percentile(ms, 50)}, {"p90", percentile(ms, 90)}}},
          {"by_start_rotation", bins}};
}

}  // namespace

void wilson_interval(int successes, int n, double& low, double& high) {
  if (n <= 0) {
    low = 0.0;
    high = 1.0;
    return;
  }
  const double p = double(successes) / n, z2 = kZ95 * kZ95;
  const double centre = (p + z2 / (2.0 * n)) / (1.0 + z2 / n);
  const double half = kZ95 * std::sqrt(p * (1.0 - p) / n + z2 / (4.0 * n * n)) / (1.0 + z2 / n);
  // At 0 and n successes the bounds are exactly 0 and 1; rounding would
  // leave them a hair inside.
  low = successes <= 0 ? 0.0 : std::max(0.0, centre - half);
  high = successes >= n ? 1.0 : std::min(1.0, centre + half);
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const double rank = p / 100.0 * double(values.size() - 1);
  const size_t below = size_t(std::floor(rank));
  const size_t above = std::min(below + 1, values.size() - 1);
  return values[below] + (rank - double(below)) * (values[above] - values[below]);
}

std::string trial_summary_json(const BatchDescription& batch, const std::vector<TrialRow>& rows) {
  Json inputs = Json::array();
  for (const std::string& path : batch.inputs) inputs.push_back(input_entry(path));
  Json summary = {
      {"tool_version", batch.tool_version},
      {"command_line", batch.command_line},
      {"inputs", inputs},
      {"seed", batch.seed >= 0 ? Json(batch.seed) : Json(nullptr)},
      {"count", rows.size()},
      {"mode",
       {{"starts", batch.starts_file.empty() ? "random" : "replayed"},
        {"starts_file", batch.starts_file.empty() ? Json(nullptr) : Json(batch.starts_file)},
        {"prealign", batch.prealign},
        {"parallel_trials", batch.parallel_trials}}},
      {"threads", batch.threads},
      {"thresholds",
       {{"good_by_error_below", 0.001},
        {"rotation_deg_below", batch.rule.max_degrees},
        {"shift_fraction_below", batch.rule.max_shift}}},
  };
  const SuccessCurve curve = success_curve(rows);
  Json methods = Json::array();
  for (size_t m = 0; m < curve.methods.size(); m++) methods.push_back(method_entry(rows, m, curve));
  summary["methods"] = methods;
  return summary.dump(2) + "\n";
}
