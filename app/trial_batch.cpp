#include "app/trial_batch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/result_files.h"
#include "geometry/parallel.h"
#include "app/trial_outputs.h"
#include "geometry/durable_write.h"
#include "geometry/file_set.h"

namespace {

const double kPi = 3.141592653589793;
const int kMaxDegrees = 25;       // rotation angles in [-25, 25] whole degrees
const int kHundredths = 100;      // translation steps in [-100, 100] hundredths
const float kTranslationRange = 0.3f;  // of mesh 2's box diagonal
// Room a trial takes on disk, roughly: its five result files, each at least
// one 4 KB block, with an error table of a few thousand steps; its log
// line and table rows are small beside them.
const uint64_t kTrialBytes = 40 * 1024;
const uint64_t kTrialFiles = 5;
// Logs up to this size are rewritten whole after each trial; longer ones
// (thousands of trials) are appended to, so the cost stays linear.
const size_t kRewriteBytes = 256 * 1024;

// Translation range D: 0.3 x the diagonal of mesh 2's bounding box. The
// diagonal is taken in float32; a box so large that its squares overflow
// float32 (a scan at 1e30 scale) has its diagonal taken in float64 instead,
// or every start would hold infinities.
double translation_range(TriMesh& mesh) {
  mesh.need_bounding_box();
  point s = mesh.bounding_box.max - mesh.bounding_box.min;
  float diagonal = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
  if (!std::isfinite(diagonal))
    diagonal = float(std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z));
  return static_cast<double>(diagonal) * static_cast<double>(kTranslationRange);
}

// A run counts as measured when the engine says it succeeded and left a
// finite error and pose. Otherwise the variant's error becomes the unset
// error, so the log, the counts and the summary all call it failed, and mesh
// 2 goes back to the run's start: no result file gets a pose of NaNs. A
// non-finite result is said on standard error; a plain failure already shows
// in the log.
void settle_run(bool ok, VariantRecord& record, PoseMatrix& pose, const PoseMatrix& start,
                const char* variant, int trial) {
  bool finite = std::isfinite(record.error) && is_finite(pose);
  if (ok && finite) return;
  if (ok) std::fprintf(stderr, "Ensayo %d: %s gave a result that is not finite; counted as failed.\n",
                       trial, variant);
  record.error = kTrialUnsetError;
  pose = start;
}

// "120 KB", "4.0 MB", "2.3 GB".
std::string size_text(uint64_t bytes) {
  char text[32];
  const double kb = double(bytes) / 1024.0;
  if (kb < 1024.0)
    std::snprintf(text, sizeof text, "%.0f KB", kb);
  else if (kb < 1024.0 * 1024.0)
    std::snprintf(text, sizeof text, "%.1f MB", kb / 1024.0);
  else
    std::snprintf(text, sizeof text, "%.1f GB", kb / (1024.0 * 1024.0));
  return text;
}

// True when the file system of the log's folder has room for `count`
// trials' files by the estimate above, or cannot tell; otherwise says
// what the batch needs and what is free. A batch that would fill the disk
// half way through is refused before it starts.
bool room_for_trials(int count, const std::string& log_path) {
  DiskSpace space;
  if (!disk_space(folder_of(log_path), space)) return true;
  const uint64_t bytes = uint64_t(count) * kTrialBytes, files = uint64_t(count) * kTrialFiles;
  if (space.free_bytes >= bytes && space.free_files >= files) return true;
  std::fprintf(stderr,
               "Cannot run %d trials into %s: their files need about %s and %llu files, but its "
               "file system has %s and %llu files free.\n",
               count, log_path.c_str(), size_text(bytes).c_str(), (unsigned long long)files,
               size_text(space.free_bytes).c_str(), (unsigned long long)space.free_files);
  return false;
}

// Rotations about X, Y, Z through `centre`, then the translation, applied
// after the current pose.
PoseMatrix perturb(const PoseMatrix& pose, const point& centre, double range, TrialRng& rng) {
  PoseMatrix result = pose;
  const IntTriple axes[3] = {IntTriple(1, 0, 0), IntTriple(0, 1, 0), IntTriple(0, 0, 1)};
  for (const IntTriple& axis : axes) {
    int degrees = rng.next() % (2 * kMaxDegrees + 1) - kMaxDegrees;
    double angle = degrees * kPi / 180.0;
    result = translation(centre) * rotation(angle, axis) * translation(-centre) * result;
  }
  double t[3];
  for (double& component : t)
    component = (rng.next() % (2 * kHundredths + 1) - kHundredths) * range / kHundredths;
  return translation(t[0], t[1], t[2]) * result;
}

// The log line's first half: "Ensayo n, error: E<tab>" (n from 1).
std::string geometric_log_text(int trial, float error) {
  char text[128];
  std::snprintf(text, sizeof text, "Ensayo %d, error: %lf\t", trial + 1, static_cast<double>(error));
  return text;
}

// Runs one ICP variant and returns its wall time in milliseconds.
template <typename Run>
double timed_ms(Run run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// A variant's row entry from what the engine left in its record.
MethodRun variant_run(const char* method, const VariantRecord& record, double milliseconds,
                      const PoseMatrix& pose, const PoseScorer& scorer) {
  MethodRun run;
  run.method = method;
  run.final_error = record.error;
  run.has_error = engine_error_is_set(record.error);
  run.good_by_error = trial_error_is_good(record.error);
  run.iterations = int(record.history.size());
  run.milliseconds = milliseconds;
  scorer.score(pose, run);
  return run;
}

void count_outcome(float error_icp, float error_color, TrialCounts& counts) {
  bool geometric_good = trial_error_is_good(error_icp);
  bool color_good = trial_error_is_good(error_color);
  if (geometric_good && color_good) counts.both_good++;
  if (!geometric_good && color_good) counts.only_color++;
  if (geometric_good && !color_good) counts.only_geometric++;
}

}  // namespace

bool trial_error_is_good(float error) {
  // NaN compares false; an infinite error is not below the threshold.
  return std::fabs(error) < kTrialGoodError;
}

std::string trial_counts_text(const TrialCounts& counts) {
  return "Ambos bien: " + std::to_string(counts.both_good) + "\nS\xF3lo color: " +
         std::to_string(counts.only_color) + "\nS\xF3lo normal: " +
         std::to_string(counts.only_geometric) + "\n";
}

void write_trial_counts(std::FILE* out, const TrialCounts& counts) {
  std::fputs(trial_counts_text(counts).c_str(), out);
}

TrialBatch::~TrialBatch() { finish(); }

bool TrialBatch::start(Aligner& aligner, ViewState& view, const std::string& base,
                       uint32_t seed, int count, const TrialBatchHooks& hooks) {
  finish();
  aligner_ = &aligner;
  view_ = &view;
  hooks_ = hooks;
  count_ = count > 0 ? count : 0;
  trials_done_ = 0;
  trials_at_once_ = 1;
  geometric_done_ = false;
  counts_ = TrialCounts();
  records_.clear();
  rows_.clear();
  log_path_ = base + ".txt";
  MeshSlot& moving = *aligner.slots[1];
  reference_ = moving.pose;
  range_ = translation_range(*moving.mesh);
  const BoundingBox& box = moving.mesh->bounding_box;
  box_centre_ = 0.5f * (box.min + box.max);
  diagonal_ = range_ / double(kTranslationRange);
  centre_ = view.spheres[2].center;
  // Starts built from a pose, size or centre that is not finite hold NaNs
  // (a scan so large that its squares overflow): no trial could measure
  // anything, so the batch is refused before the log is touched.
  if (!is_finite(reference_) || !std::isfinite(range_) || !is_finite(centre_) ||
      !is_finite(box_centre_)) {
    std::fprintf(stderr, "Cannot run trials: mesh 2's pose, size or centre is not finite.\n");
    count_ = 0;
    return false;
  }
  if (!room_for_trials(count_, log_path_) || !open_log()) {
    count_ = 0;
    return false;
  }
  rng_ = TrialRng(seed);
  scorer_.reference = reference_;
  scorer_.box_centre = box_centre_;
  scorer_.diagonal = diagonal_;
  scorer_.rule = hooks.pose_rule;
  records_.reserve(size_t(count_));
  rows_.reserve(size_t(count_));
  if (parallel_) start_workers(seed);
  return true;
}

void TrialBatch::start_workers(uint32_t seed) {
  // The starts the default mode takes for this seed, in trial order.
  starts_.clear();
  for (int i = 0; i < count_; i++)
    starts_.push_back(hooks_.start_pose ? hooks_.start_pose(i)
                                        : perturb(reference_, centre_, range_, rng_));
  ParallelTrialHooks hooks;
  hooks.prepare_color_features = hooks_.prepare_color_features;
  hooks.prealign = hooks_.prealign;
  trials_ = std::make_unique<ParallelTrials>(*aligner_, starts_, seed, hooks, thread_count());
  trials_at_once_ = trials_->workers();
}

// The log is taken for this batch alone (a lock beside it), sets a dead
// writer left half renamed in its folder are completed, and the folder must
// take new files; the previous log itself stays until the first trial ends.
bool TrialBatch::open_log() {
  std::string why;
  FileReplacement probe;
  if (!probe.begin(log_path_, why) || probe.in_place()) {
    if (why.empty()) why = std::strerror(EACCES);
    std::fprintf(stderr, "Cannot create the trial log %s: %s.\n", log_path_.c_str(), why.c_str());
    return false;
  }
  probe.abandon();
  if (!lock_.acquire(log_path_, why)) {
    std::fprintf(stderr, "Cannot run trials into %s: %s.\n", log_path_.c_str(), why.c_str());
    return false;
  }
  complete_interrupted_sets(folder_of(log_path_));
  log_open_ = true;
  log_ok_ = true;
  log_text_.clear();
  return true;
}

// Replaces the log on disk by the text so far: a new file renamed over the
// old, so a batch stopped at any moment leaves the previous log or a whole
// prefix of this one. A long log (beyond kRewriteBytes) gets its new lines
// appended in one write instead, so a huge batch does not rewrite megabytes
// per trial.
void TrialBatch::save_log() {
  if (!log_ok_) return;
  std::string why;
  bool ok;
  if (log_saved_ > 0 && log_text_.size() > kRewriteBytes) {
    ok = append_to_file(log_path_, log_text_.substr(log_saved_), why);
  } else {
    ok = write_file_durably(log_path_, log_text_, why);
  }
  if (ok) {
    log_saved_ = log_text_.size();
    return;
  }
  std::fprintf(stderr, "Error writing the trial log %s: %s.\n", log_path_.c_str(), why.c_str());
  log_ok_ = false;
}

void TrialBatch::step() {
  if (!log_open_ || done()) return;
  if (trials_) parallel_trial();
  else if (!geometric_done_) geometric_run();
  else color_run();
}

void TrialBatch::geometric_run() {
  Aligner& aligner = *aligner_;
  MeshSlot& moving = *aligner.slots[1];
  ViewState& view = *view_;
  const int i = trials_done_;
  moving.pose = reference_;
  std::printf("posicion inicial\n\n");
  if (hooks_.request_redraw) hooks_.request_redraw();
  moving.pose = hooks_.start_pose ? hooks_.start_pose(i) : perturb(moving.pose, centre_, range_, rng_);
  view.initial_pose = moving.pose;
  row_ = TrialRow();
  row_.trial = i + 1;
  row_.start = moving.pose;
  placed_ = !hooks_.prealign || hooks_.prealign(aligner);
  if (hooks_.prealign) row_.prealign = placed_ ? "found" : "refused";
  const PoseMatrix icp_start = moving.pose;
  icp_start_ = icp_start;

  std::printf("Ensayo %d\n", i);
  std::fflush(stdout);
  bool ok = false;
  const double ms = timed_ms([&] { ok = placed_ && aligner.align(2); });
  settle_run(ok, aligner.icp, moving.pose, icp_start, "ICP", i + 1);
  row_.runs.push_back(variant_run("icp", aligner.icp, ms, moving.pose, scorer_));
  geometric_text_ = geometric_log_text(i, aligner.icp.error);
  view.icp_pose = moving.pose;
  moving.pose = icp_start;
  geometric_done_ = true;
}

void TrialBatch::color_run() {
  Aligner& aligner = *aligner_;
  MeshSlot& moving = *aligner.slots[1];
  const int i = trials_done_;
  std::printf("COLOR %d\n", i);
  std::fflush(stdout);
  // The geometric run empties the feature marks; the colour run is measured
  // as a user runs it, so the marks are prepared again right before it.
  if (hooks_.prepare_color_features) hooks_.prepare_color_features(aligner);
  const PoseMatrix color_start = moving.pose;
  bool ok = false;
  const double ms = timed_ms([&] { ok = placed_ && aligner.align_color(2); });
  settle_run(ok, aligner.color, moving.pose, color_start, "ICP_Color", i + 1);
  row_.runs.push_back(variant_run("icp_color", aligner.color, ms, moving.pose, scorer_));
  close_trial();
}

// The next trial of the parallel mode, handed over as the default mode's two
// steps would leave it: console lines in their order (each run's engine
// messages after its line), both records and poses in the engine and view
// state, each run settled and entered in the row as there.
void TrialBatch::parallel_trial() {
  const int i = trials_done_;
  const ParallelTrialOutcome* out = trials_->wait_for(i);
  if (!out) return;
  Aligner& aligner = *aligner_;
  MeshSlot& moving = *aligner.slots[1];
  ViewState& view = *view_;
  std::printf("posicion inicial\n\n");
  std::fflush(stdout);
  if (hooks_.request_redraw) hooks_.request_redraw();
  view.initial_pose = starts_[size_t(i)];
  row_ = TrialRow();
  row_.trial = i + 1;
  row_.start = view.initial_pose;
  std::fputs(out->prealign_console.c_str(), stderr);
  if (hooks_.prealign) row_.prealign = out->prealigned ? "found" : "refused";
  icp_start_ = out->run_start;
  std::printf("Ensayo %d\n", i);
  std::fflush(stdout);
  std::fputs(out->icp_console.c_str(), stderr);
  aligner.icp = out->icp;
  moving.pose = out->icp_pose;
  settle_run(out->icp_ok, aligner.icp, moving.pose, out->run_start, "ICP", i + 1);
  row_.runs.push_back(variant_run("icp", aligner.icp, out->icp_ms, moving.pose, scorer_));
  geometric_text_ = geometric_log_text(i, aligner.icp.error);
  view.icp_pose = moving.pose;
  std::printf("COLOR %d\n", i);
  std::fflush(stdout);
  std::fputs(out->color_console.c_str(), stderr);
  aligner.color = out->color;
  moving.pose = out->color_pose;
  settle_run(out->color_ok, aligner.color, moving.pose, out->run_start, "ICP_Color", i + 1);
  row_.runs.push_back(variant_run("icp_color", aligner.color, out->color_ms, moving.pose, scorer_));
  close_trial();
}

void TrialBatch::close_trial() {
  Aligner& aligner = *aligner_;
  MeshSlot& moving = *aligner.slots[1];
  ViewState& view = *view_;
  const int i = trials_done_;
  if (hooks_.more_methods) hooks_.more_methods(icp_start_, scorer_, row_);
  char text[128];
  std::snprintf(text, sizeof text, "error: %lf\n", static_cast<double>(aligner.color.error));
  view.color_icp_pose = moving.pose;

  count_outcome(aligner.icp.error, aligner.color.error, counts_);
  if (!placed_) counts_.refused++;
  TrialRecord r;
  PoseOffset start = pose_offset(reference_, view.initial_pose, box_centre_);
  r.start_degrees = start.degrees;
  r.start_shift = diagonal_ > 0 ? start.shift / diagonal_ : 0.0;
  r.error_icp = aligner.icp.error;
  r.error_color = aligner.color.error;
  r.pose_good_icp = row_.runs[0].recovered;
  r.pose_good_color = row_.runs[1].recovered;
  records_.push_back(r);
  row_.start_rotation_deg = r.start_degrees;
  row_.start_shift = r.start_shift;
  // The log path gives the result names: base + "_N", beside the log. The
  // trial's files are in place before its log line, so the log on disk never
  // names a trial whose files are not there.
  bool saved = write_results(aligner, view, log_path_, i + 1, method_pose_files(log_path_, row_));
  if (!saved) counts_.unsaved++;
  rows_.push_back(std::move(row_));
  log_text_ += geometric_text_ + text;
  save_log();
  trials_done_++;
  geometric_done_ = false;
}

bool TrialBatch::finish(const std::function<void()>& beside_log) {
  // Workers stop after their current runs; what they finished beyond the
  // trials handed over is dropped with them.
  trials_.reset();
  if (!log_open_) return false;
  log_text_ += trial_counts_text(counts_);
  save_log();
  bool ok = log_ok_;
  log_open_ = false;
  log_saved_ = 0;
  if (beside_log) beside_log();
  lock_.release();
  // Printed only when something was lost, so a clean batch's console stays
  // as it always was.
  if (counts_.unsaved > 0)
    std::printf("Result files not written for %d of %d trials.\n", counts_.unsaved,
                trials_done_);
  if (hooks_.prealign)
    std::printf("Prealignment refused for %d of %d trials.\n", counts_.refused, trials_done_);
  std::fflush(stdout);
  return ok;
}

namespace {

std::string duration_text(double seconds) {
  char text[32];
  long s = std::lround(seconds);
  if (s < 60) std::snprintf(text, sizeof text, "%ld s", s);
  else std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
  return text;
}

}  // namespace

BatchProgress batch_progress(const TrialBatch& batch, double elapsed_seconds) {
  BatchProgress p;
  char text[160];
  std::snprintf(text, sizeof text, "Ensayo %d / %d",
                std::min(batch.trials_done() + 1, batch.count()), batch.count());
  p.trial = text;
  const TrialCounts& c = batch.counts();
  std::snprintf(text, sizeof text, "Ambos bien: %d  S\xF3lo color: %d  S\xF3lo normal: %d",
                c.both_good, c.only_color, c.only_geometric);
  p.counts = text;
  std::string remaining = "?";
  if (batch.runs_done() > 0)
    remaining = duration_text(elapsed_seconds / batch.runs_done() *
                              (batch.runs_total() - batch.runs_done()));
  p.times = "Transcurrido " + duration_text(elapsed_seconds) + ", quedan " + remaining;
  return p;
}
