// The one JSON object `icp_tool align --json` prints on standard output, so a
// script can read an alignment's outcome without parsing console lines.
#pragma once

#include <string>

#include "geometry/PoseMatrix.h"
#include "registration/Aligner.h"
#include "registration/prealign.h"

struct AlignReport {
  bool ok = false;                // the ICP ran to a result (the exit status is 0)
  std::string method;             // "icp" or "icp_color"
  PoseMatrix pose;                // mesh 2's final pose (its start pose when !ok)
  float final_error = 0.0f;       // the engine's final error
  int iterations = 0;             // steps of the run
  double milliseconds = 0.0;      // wall time of the ICP alone
  int pairs = 0;                  // pairs of the final step
  double pair_rms = 0.0;          // RMS distance between them, scene units
  double overlap_share = 0.0;     // share of mesh 2's vertices in the overlap with mesh 1
  bool prealign_asked = false;
  PrealignResult prealign;        // its outcome, when asked
};

// The figures of the run just made by `aligner` in `record` (its steps, final
// error) and of its final pairs (the pairs of the last step, which stay in
// the aligner's pair buffer, and mesh 2's overlap weights).
void fill_run_figures(const Aligner& aligner, const VariantRecord& record, AlignReport& report);

// The JSON text, one object and a newline: "ok", "method", "pose" (four rows
// of four numbers), "final_error" (null when the engine measured nothing),
// "iterations", "milliseconds", "pairs", "pair_rms", "overlap_share" and,
// with --prealign, "prealign": {"found", "fitness", "milliseconds",
// "message"}. Numbers keep full double precision.
std::string align_report_json(const AlignReport& report);
