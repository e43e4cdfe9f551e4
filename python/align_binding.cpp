// varkel_icp.align and varkel_icp.prealign: one alignment of two scans, as
// `icp_tool align` and `icp_tool prealign` make it, results as records.
#include <pybind11/stl.h>

#include <chrono>
#include <optional>
#include <string>

#include "python/arrays.h"
#include "python/bindings.h"
#include "python/engine_call.h"
#include "registration/color_features.h"
#include "registration/prealign.h"
#include "app/trial_table.h"
#include "tools/align_report.h"

namespace {

// The "Umbral" slider's start value, which icp_tool uses for the colour
// preparation too.
const float kRidgeThreshold = 0.2f;

struct AlignResult {
  AlignReport report;          // pose, error, steps, time, final pairs, overlap
  std::vector<float> history;  // RMS error of every step
  std::string log;             // the engine's console messages
};

struct PrealignOutcome {
  PrealignResult result;
  std::string log;
};

// Why a run failed, as the engine's console said it.
std::string failure_reason(const std::string& console, bool cancelled) {
  if (cancelled) return "ICP cancelled";
  if (console.find("No overlap.") != std::string::npos) return "ICP failed: No overlap.";
  return "ICP failed: no step found enough pairs to measure an error";
}

bool color_variant(const std::string& variant) {
  if (variant == "icp") return false;
  if (variant == "icp_color") return true;
  throw py::value_error("variant must be \"icp\" or \"icp_color\", not \"" + variant + "\"");
}

// The run of `icp_tool align FIXED MOVING [--color] [--prealign]`, stopped
// between steps by Ctrl+C. Raises varkel_icp.Error when a scan lacks the
// colours the colour variant needs, the prealignment refuses, or the ICP
// fails.
AlignResult align(PyScan& fixed, PyScan& moving, const std::string& variant, bool prealign) {
  const bool color = color_variant(variant);
  AlignResult out;
  out.report.method = variant;
  out.report.prealign_asked = prealign;
  std::string failed;
  CallConsole console;
  run_engine(console, [&] {
    LentEngine engine(fixed, moving);
    Aligner& aligner = engine.aligner();
    for (int k = 0; color && k < 2; k++) {
      const TriMesh& mesh = *aligner.slots[k]->mesh;
      if (mesh.colors.size() != mesh.vertices.size()) {
        failed = std::string(k ? "moving" : "fixed") + " scan has no per-vertex colours";
        return false;
      }
    }
    if (color) prepare_color_features(aligner, kRidgeThreshold);
    if (prealign && !prealign_mesh2(aligner, &out.report.prealign)) {
      failed = "Prealignment failed: " + out.report.prealign.message;
      return false;
    }
    aligner.between_steps = [] { return !python_interrupted(); };
    const auto start = std::chrono::steady_clock::now();
    const bool ok = color ? aligner.align_color(1) : aligner.align(1);
    out.report.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
      failed = failure_reason(console.text, aligner.cancelled);
      return false;
    }
    out.report.ok = true;
    out.report.pose = aligner.slots[1]->pose;
    const VariantRecord& record = color ? aligner.color : aligner.icp;
    fill_run_figures(aligner, record, out.report);
    out.history = record.history;
    return true;
  });
  if (!failed.empty()) throw EngineError(failed);
  out.log = console.text;
  return out;
}

PrealignOutcome prealign_scans(PyScan& fixed, PyScan& moving) {
  PrealignOutcome out;
  CallConsole console;
  run_engine(console, [&] {
    LentEngine engine(fixed, moving);
    return prealign_mesh2(engine.aligner(), &out.result);
  });
  out.log = console.text;
  return out;
}

std::optional<double> engine_error(float error) {
  if (!engine_error_is_set(error)) return std::nullopt;
  return double(error);
}

}  // namespace

void bind_alignment(py::module_& m) {
  py::class_<PrealignOutcome>(m, "PrealignResult", "What a prealignment found, or why it refused.")
      .def_property_readonly("found", [](const PrealignOutcome& p) { return p.result.ok; },
                             "True: pose is verified; False: it refused (see message).")
      .def_property_readonly("pose", [](const PrealignOutcome& p) { return pose_array(p.result.pose); },
                             "4x4: the moving scan's found pose (its own pose when refused).")
      .def_property_readonly("fitness", [](const PrealignOutcome& p) { return p.result.fitness; },
                             "0..1: share of the moving scan within 4 point spacings of the fixed one.")
      .def_property_readonly("residual", [](const PrealignOutcome& p) { return p.result.residual; },
                             "RMS of those distances, in point spacings.")
      .def_property_readonly("color_difference", [](const PrealignOutcome& p) { return p.result.color_difference; },
                             "Mean colour difference per channel of the pairs, 0..1.")
      .def_property_readonly("hypotheses", [](const PrealignOutcome& p) { return p.result.hypotheses; },
                             "Placements tried.")
      .def_property_readonly("kept", [](const PrealignOutcome& p) { return p.result.kept; },
                             "The kept (or best refused) placement, e.g. \"FGR 2 %\".")
      .def_property_readonly("milliseconds", [](const PrealignOutcome& p) { return p.result.milliseconds; })
      .def_property_readonly("message", [](const PrealignOutcome& p) { return p.result.message; },
                             "What was kept and why, or the refusal's reason.")
      .def_readonly("log", &PrealignOutcome::log, "The engine's console messages.")
      .def("__repr__", [](const PrealignOutcome& p) {
        std::string line = prealign_report_line(p.result);
        return "<varkel_icp.PrealignResult " + line.substr(0, line.size() - 1) + ">";
      });

  py::class_<AlignResult>(m, "AlignResult", "One ICP run's outcome, as icp_tool align --json reports it.")
      .def_property_readonly("method", [](const AlignResult& r) { return r.report.method; })
      .def_property_readonly("pose", [](const AlignResult& r) { return pose_array(r.report.pose); },
                             "4x4: the moving scan's final pose (scan frame -> common frame).")
      .def_property_readonly("final_error", [](const AlignResult& r) { return engine_error(r.report.final_error); },
                             "The engine's final RMS error (None when it measured nothing).")
      .def_property_readonly("iterations", [](const AlignResult& r) { return r.report.iterations; },
                             "Steps of the run.")
      .def_property_readonly("history", [](const AlignResult& r) {
        return py::array_t<float>(py::ssize_t(r.history.size()), r.history.data());
      }, "float32: the RMS error of every step, in order.")
      .def_property_readonly("milliseconds", [](const AlignResult& r) { return r.report.milliseconds; },
                             "Wall time of the ICP alone.")
      .def_property_readonly("pairs", [](const AlignResult& r) { return r.report.pairs; },
                             "Pairs of the final step.")
      .def_property_readonly("pair_rms", [](const AlignResult& r) { return r.report.pair_rms; },
                             "Their RMS distance, scene units.")
      .def_property_readonly("overlap_share", [](const AlignResult& r) { return r.report.overlap_share; },
                             "Share of the moving scan's vertices inside the overlap with the fixed one.")
      .def_property_readonly("prealign", [](const AlignResult& r) -> py::object {
        if (!r.report.prealign_asked) return py::none();
        return py::cast(PrealignOutcome{r.report.prealign, std::string()});
      }, "The prealignment's outcome with prealign=True, else None.")
      .def_readonly("log", &AlignResult::log, "The engine's console messages.")
      .def("__repr__", [](const AlignResult& r) {
        return "<varkel_icp.AlignResult " + r.report.method + ": " +
               std::to_string(r.report.iterations) + " steps, final error " +
               std::to_string(r.report.final_error) + ">";
      });

  m.def("align", &align, py::arg("fixed"), py::arg("moving"), py::arg("variant") = "icp",
        py::arg("prealign") = false,
        R"(Aligns moving onto fixed with the geometric ICP ("icp") or the colour ICP
("icp_color"), from moving's pose or, with prealign, from the prealigned
pose. Gives the pose `icp_tool align` writes for the same files, to the
last bit, whatever calls came before. The scans are not changed. Ctrl+C
stops the run between steps (KeyboardInterrupt). Raises varkel_icp.Error
when the prealignment refuses or the ICP fails (e.g. "No overlap."),
ValueError for an unknown variant.)");
  m.def("prealign", &prealign_scans, py::arg("fixed"), py::arg("moving"),
        R"(Places moving on fixed from any start by matching shape (and colour)
features, as `icp_tool prealign`; a refusal is a result with found False
and the reason in message. The scans are not changed.)");
}
