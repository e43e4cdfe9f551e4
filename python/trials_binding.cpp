// varkel_icp.trials: the trial batch of `icp_tool trials`, its per-trial
// table returned as NumPy columns.
#include <pybind11/stl.h>
#include <stdlib.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/alignment_actions.h"
#include "app/peer_methods.h"
#include "app/trial_batch.h"
#include "app/trial_outputs.h"
#include "app/trial_starts.h"
#include "geometry/file_paths.h"
#include "geometry/parallel.h"
#include "project_version.h"
#include "python/arrays.h"
#include "python/bindings.h"
#include "python/engine_call.h"
#include "registration/prealign.h"

namespace {

const long kMaxTrials = 100000;  // as icp_tool trials

// A folder of its own for what a call writes but does not keep (the batch's
// files when no output is asked for); removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varkel_icp.XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct TrialsRequest {
  long count = 0;
  uint32_t seed = 0;
  bool parallel = false, prealign = false;
  std::vector<std::string> peers;  // methods beyond icp and icp_color
  PoseRule rule;
  std::vector<PoseMatrix> starts;  // replayed starts; empty: random ones
  std::string out;                 // the log's path; "": no files kept
};

// Start poses from a K x 4 x 4 array, checked as `--starts` files are (by
// the same reader: every matrix a rigid motion).
std::vector<PoseMatrix> read_starts(const py::handle& value, const std::string& scratch) {
  auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
  if (!array || array.ndim() != 3 || array.shape(1) != 4 || array.shape(2) != 4)
    throw py::value_error("starts must be a K x 4 x 4 array of poses");
  std::vector<PoseMatrix> poses;
  for (py::ssize_t i = 0; i < array.shape(0); i++) {
    py::array_t<double> one({4, 4}, array.data(i, 0, 0));
    poses.push_back(pose_from(one, "starts"));
  }
  const std::string path = scratch + "/starts.txt";
  std::ofstream(path) << start_poses_text(poses);
  std::vector<PoseMatrix> checked;
  std::string why;
  if (!read_start_poses(path, size_t(kMaxTrials), checked, why)) throw py::value_error("starts: " + why);
  return checked;
}

TrialsRequest make_request(std::optional<long> count, std::optional<long long> seed, bool parallel,
                           const std::vector<std::string>& methods, bool prealign, double rot_deg,
                           double shift_frac, const py::object& starts,
                           const std::optional<std::string>& out, const std::string& scratch) {
  TrialsRequest request;
  if (!starts.is_none()) request.starts = read_starts(starts, scratch);
  request.count = count ? *count : request.starts.empty() ? kTrialCount : long(request.starts.size());
  if (request.count < 1 || request.count > kMaxTrials)
    throw py::value_error("count must be a whole number from 1 to " + std::to_string(kMaxTrials));
  if (!request.starts.empty() && request.count > long(request.starts.size()))
    throw py::value_error("count is " + std::to_string(request.count) + " but starts holds " +
                          std::to_string(request.starts.size()) + " poses");
  if (seed && (*seed < 0 || *seed > static_cast<long long>(UINT32_MAX)))
    throw py::value_error("seed must be a whole number from 0 to " + std::to_string(UINT32_MAX));
  request.seed = seed ? uint32_t(*seed) : uint32_t(std::time(nullptr));
  if (!(std::isfinite(rot_deg) && rot_deg > 0) || !(std::isfinite(shift_frac) && shift_frac > 0))
    throw py::value_error("rot_deg and shift_frac must be numbers above 0");
  request.rule.max_degrees = rot_deg;
  request.rule.max_shift = shift_frac;
  std::string list, why;
  for (const std::string& method : methods) list += (list.empty() ? "" : ",") + method;
  if (!parse_method_list(list, request.peers, why)) throw py::value_error("methods: " + why);
  request.parallel = parallel;
  request.prealign = prealign;
  if (out) {
    if (out->empty()) throw py::value_error("out must name a file");
    request.out = *out;
  }
  return request;
}

// What the summary says about how the batch ran: the equivalent icp_tool
// arguments after the caller's name.
BatchDescription describe(const TrialsRequest& request, const PyScan& fixed, const PyScan& moving,
                          const TrialBatch& batch) {
  BatchDescription d;
  d.tool_version = ICP_PROJECT_VERSION;
  d.inputs = {fixed.slot.file_name, moving.slot.file_name};
  d.command_line = {"varkel_icp.trials", d.inputs[0], d.inputs[1], "--out", request.out,
                    "--count", std::to_string(request.count)};
  // Replayed starts leave the seed nothing to draw, except in parallel mode,
  // where it also seeds every trial's samples.
  const bool seeded = request.starts.empty() || request.parallel;
  if (seeded) {
    d.command_line.insert(d.command_line.end(), {"--seed", std::to_string(request.seed)});
  }
  if (request.prealign) d.command_line.push_back("--prealign");
  if (request.parallel) d.command_line.push_back("--parallel");
  d.seed = seeded ? static_cast<long long>(request.seed) : -1;
  d.prealign = request.prealign;
  d.threads = thread_count();
  d.parallel_trials = batch.trials_at_once();
  d.rule = request.rule;
  return d;
}

// The table's columns, one NumPy array per column of RUN_trials.csv: an
// unset final error is NaN (the CSV leaves it empty), flags are bool.
py::dict table_columns(const std::vector<TrialRow>& rows) {
  std::vector<int> trial, iterations;
  std::vector<std::string> method, prealign;
  std::vector<double> start_rotation, start_shift, final_error, rotation_error, translation_error, ms;
  std::vector<bool> good, recovered;
  for (const TrialRow& row : rows)
    for (const MethodRun& run : row.runs) {
      trial.push_back(row.trial);
      method.push_back(run.method);
      start_rotation.push_back(row.start_rotation_deg);
      start_shift.push_back(row.start_shift);
      final_error.push_back(run.has_error ? double(run.final_error) : std::nan(""));
      rotation_error.push_back(run.rotation_error_deg);
      translation_error.push_back(run.translation_error);
      iterations.push_back(run.iterations);
      ms.push_back(run.milliseconds);
      good.push_back(run.good_by_error);
      recovered.push_back(run.recovered);
      prealign.push_back(row.prealign);
    }
  py::module_ numpy = py::module_::import("numpy");
  auto column = [](const auto& values) { return py::array(py::cast(values)); };
  py::dict table;
  table["trial"] = column(trial);
  table["method"] = numpy.attr("array")(py::cast(method), "U");
  table["start_rotation_deg"] = column(start_rotation);
  table["start_shift"] = column(start_shift);
  table["final_error"] = column(final_error);
  table["rotation_error_deg"] = column(rotation_error);
  table["translation_error"] = column(translation_error);
  table["iterations"] = column(iterations);
  table["milliseconds"] = column(ms);
  table["good_by_error"] = numpy.attr("array")(py::cast(good), "bool");
  table["recovered"] = numpy.attr("array")(py::cast(recovered), "bool");
  table["prealign"] = numpy.attr("array")(py::cast(prealign), "U");
  return table;
}

// Runs the batch as `icp_tool trials` does, stopping after the run under
// way when Ctrl+C arrives. Returns the rows of the finished trials; with an
// output path its log, per-trial files, basin picture, table, summary and
// success curve, else nothing kept.
std::vector<TrialRow> run_batch(PyScan& fixed, PyScan& moving, const TrialsRequest& request,
                                const std::string& scratch) {
  std::vector<TrialRow> rows;
  std::string failed;
  CallConsole console;
  run_engine(console, [&] {
    LentEngine engine(fixed, moving);
    Aligner& aligner = engine.aligner();
    for (int k = 0; k < 2; k++) {
      const TriMesh& mesh = *aligner.slots[k]->mesh;
      if (mesh.colors.size() != mesh.vertices.size()) {
        failed = std::string(k ? "moving" : "fixed") + " scan needs vertices with colours";
        return false;
      }
    }
    ViewState view;
    view.spheres[2] = aligner.slots[1]->mesh->bounding_sphere;
    view.initial_pose = aligner.slots[1]->pose;
    ViewOptions options;
    TrialBatchHooks hooks;
    hooks.prepare_color_features = color_features_hook(options);
    if (request.prealign) hooks.prealign = [](Aligner& a) { return prealign_mesh2(a); };
    hooks.pose_rule = request.rule;
    if (!request.starts.empty())
      hooks.start_pose = [&request](int trial) { return request.starts[size_t(trial)]; };
    std::string why;
    if (!add_peer_methods(aligner, request.peers, hooks, why)) {
      failed = "the peer methods are not available: " + why;
      return false;
    }
    const std::string base = strip_extension(request.out.empty() ? scratch + "/run.txt" : request.out);
    TrialBatch batch;
    batch.parallel(request.parallel);
    if (!batch.start(aligner, view, base, request.seed, int(request.count), hooks)) {
      failed = "cannot run trials into " + base + ".txt (see standard error)";
      return false;
    }
    while (!batch.done() && !python_interrupted()) batch.step();
    bool outputs_ok = true;
    bool ok = batch.finish([&] {
      if (request.out.empty()) return;
      outputs_ok = write_basin_svg(base + "_basin.svg", batch.records());
      outputs_ok = write_batch_outputs(base, describe(request, fixed, moving, batch), batch.rows()) && outputs_ok;
    });
    rows = batch.rows();
    ok = ok && outputs_ok;
    if (!request.out.empty() && batch.counts().unsaved > 0) ok = false;
    if (!ok) failed = "trial files under " + base + " not all written (see standard error)";
    return ok;
  });
  if (!failed.empty()) throw EngineError(failed);
  return rows;
}

py::dict trials(PyScan& fixed, PyScan& moving, std::optional<long> count,
                std::optional<long long> seed, bool parallel, const std::vector<std::string>& methods,
                bool prealign, double rot_deg, double shift_frac, const py::object& starts,
                const std::optional<std::string>& out) {
  ScratchFolder scratch;
  if (scratch.path().empty()) throw EngineError("cannot make a temporary folder");
  const TrialsRequest request = make_request(count, seed, parallel, methods, prealign, rot_deg,
                                             shift_frac, starts, out, scratch.path());
  return table_columns(run_batch(fixed, moving, request, scratch.path()));
}

}  // namespace

void bind_trials(py::module_& m) {
  m.def("trials", &trials, py::arg("fixed"), py::arg("moving"), py::kw_only(),
        py::arg("count") = py::none(), py::arg("seed") = py::none(), py::arg("parallel") = false,
        py::arg("methods") = std::vector<std::string>{"icp", "icp_color"},
        py::arg("prealign") = false, py::arg("rot_deg") = 1.0, py::arg("shift_frac") = 0.01,
        py::arg("starts") = py::none(), py::arg("out") = py::none(),
        R"(Runs the trial batch of `icp_tool trials` from moving's pose: count trials
(default 100, or one per start pose), each from a random perturbation drawn
from seed (None: the calendar time) or from starts (K x 4 x 4 rigid poses),
both variants and any further methods ("o3d_point_to_plane",
"o3d_colored"), each prealigned first with prealign. Returns the per-trial
table, one NumPy array per column of RUN_trials.csv (one row per trial and
method; an unset final_error is NaN), so pandas.DataFrame(table) works.
Files (log, per-trial results, basin, table, summary, success curve) are
written only with out (the log's path, e.g. "run.txt"). With parallel the
trials run side by side, each from a fresh engine (the tool's --parallel).
Both scans need colours. Ctrl+C stops the batch after the run under way
(KeyboardInterrupt; with out, the finished trials' files are complete).
Raises varkel_icp.Error when the batch cannot run or write its files.)");
}
