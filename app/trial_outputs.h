// The research outputs a batch writes beside its log (base B, the log B.txt):
//   B_trials.csv     the per-trial table (trial_table.h)
//   B_summary.json   the summary (trial_summary.h)
//   B_success.svg    the success curve (success_curve.h)
//   B_N_<method>.xf  the final pose of every method other than the two
//                    variants, per trial N (pose-file format)
//   --export-starts  the start poses (trial_starts.h)
// Each file goes through the durable writer (geometry/durable_write.h):
// written and synced under a temporary name beside it and renamed into
// place, so a reader never sees half a file, a failed write leaves the
// previous file as it was, and a crash leaves only a temporary that the next
// batch in that folder removes. The per-method poses belong to their
// trial's result set (file_set.h) and are replaced with it. A batch writes
// its files while it still holds its log's lock (TrialBatch::finish).
#pragma once

#include <string>
#include <vector>

#include "app/trial_summary.h"
#include "app/trial_table.h"
#include "geometry/file_set.h"

// Writes `text` to `path` through the durable writer; false with "Cannot
// write PATH: why." on standard error.
bool replace_file(const std::string& path, const std::string& text);

// The files B_N_<method>.xf of every run of `row` but "icp" and "icp_color"
// (whose poses are in the trial's result set), B = strip_extension(log_path),
// N = row.trial; for the trial's result set. Empty when there are none.
std::vector<FileContent> method_pose_files(const std::string& log_path, const TrialRow& row);

// Writes B_trials.csv, B_summary.json and B_success.svg; true when all three
// were written.
bool write_batch_outputs(const std::string& base, const BatchDescription& batch,
                         const std::vector<TrialRow>& rows);
