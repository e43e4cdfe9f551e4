#include "tools/align_report.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "app/trial_table.h"

using Json = nlohmann::ordered_json;

void fill_run_figures(const Aligner& aligner, const VariantRecord& record, AlignReport& report) {
  report.final_error = record.error;
  report.iterations = int(record.history.size());
  double sum = 0.0;
  for (const PointPair& pair : aligner.last_pairs()) {
    const point d = pair.p1 - pair.p2;
    sum += double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z;
  }
  report.pairs = int(aligner.last_pairs().size());
  report.pair_rms = report.pairs ? std::sqrt(sum / report.pairs) : 0.0;
  const std::vector<float>& weights = aligner.slots[1]->weights;
  size_t inside = 0;
  for (float w : weights) inside += w > 0.0f ? 1 : 0;
  report.overlap_share = weights.empty() ? 0.0 : double(inside) / double(weights.size());
}

std::string align_report_json(const AlignReport& report) {
  Json pose = Json::array();
  for (int r = 0; r < 4; r++)
    pose.push_back({report.pose.at(r, 0), report.pose.at(r, 1), report.pose.at(r, 2),
                    report.pose.at(r, 3)});
  Json out = {{"ok", report.ok}, {"method", report.method}, {"pose", pose}};
  out["final_error"] =
      engine_error_is_set(report.final_error) ? Json(double(report.final_error)) : Json(nullptr);
  out["iterations"] = report.iterations;
  out["milliseconds"] = report.milliseconds;
  out["pairs"] = report.pairs;
  out["pair_rms"] = report.pair_rms;
  out["overlap_share"] = report.overlap_share;
  if (report.prealign_asked)
    out["prealign"] = {{"found", report.prealign.ok},
                       {"fitness", double(report.prealign.fitness)},
                       {"milliseconds", report.prealign.milliseconds},
                       {"message", report.prealign.message}};
  return out.dump() + "\n";
}
