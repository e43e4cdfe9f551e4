// The randomised trial batch: from mesh 2's current pose, `count` trials each
// perturb the pose by whole-degree rotations in [-25, 25] about X, Y and Z
// through the centre of mesh 2's view sphere and a translation of whole
// hundredths of 0.3 x mesh 2's box diagonal, run the geometric and then the
// colour ICP from the same start, log both final errors, count which variant
// converged (final error below 0.001) and write the trial's five result files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/parallel_trials.h"
#include "app/trial_basin.h"
#include "app/trial_table.h"
#include "geometry/file_lock.h"

// The batch's random numbers: x <- x * 214013 + 2531011 (mod 2^32), each
// draw returning bits 16 to 30 of the new x (0 to 32767).
class TrialRng {
 public:
  explicit TrialRng(uint32_t seed) : state_(seed) {}
  int next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7fffu);
  }

 private:
  uint32_t state_;
};

// What the caller supplies around the alignments.
struct TrialBatchHooks {
  // Marks ridge/valley vertices and refreshes significant colours of both
  // slots, exactly as the "ICP_Color" button does before its run.
  std::function<void(Aligner&)> prepare_color_features;
  // Asks the window to redraw (nothing without a window).
  std::function<void()> request_redraw;
  // When set, runs right after each perturbation and may move mesh 2 (a
  // global prealignment); both variants then start from where it left mesh
  // 2, while the trial's start pose (initial_pose, its result files) stays
  // the perturbed one. Returns whether it found a pose (the table's
  // prealignment outcome). False: it refused (mesh 2 unmoved); the trial's two
  // runs are then not made but logged with kTrialUnsetError (an ICP from an
  // unplaced start would count as a prealigned result), the trial counts in
  // TrialCounts::refused, and finish() prints
  // "Prealignment refused for %d of %d trials.\n" on standard output.
  std::function<bool(Aligner&)> prealign;
  // When set, gives trial i's start pose (i from 0) in place of the random
  // perturbation; the generator is then not drawn, so the seed plays no part.
  std::function<PoseMatrix(int trial)> start_pose;
  // When set, runs after both variants of each trial and appends the runs of
  // further methods to `row`, each from `start` (where both variants
  // started), scored by `scorer`. Must leave the meshes and poses as found.
  std::function<void(const PoseMatrix& start, const PoseScorer& scorer, TrialRow& row)>
      more_methods;
  // The pose rule's thresholds (records, table and outcome line).
  PoseRule pose_rule;
};

// The error a trial logs for a run that failed (the engine refused, found no
// overlap, or left a non-finite pose or error): the engine's unset error,
// which is never good.
const float kTrialUnsetError = 999999.0f;

// A run converged when its final error x 1000, truncated towards zero, is 0:
// for every float that is |error| < kTrialGoodError (app/trial_basin.h). A
// non-finite error never counts as converged.
bool trial_error_is_good(float error);

// The three count lines that close a batch's log ("Ambos bien: N" and the
// two "Solo ..." lines, Windows-1252); icp_tool trials prints the same lines.
std::string trial_counts_text(const TrialCounts& counts);
void write_trial_counts(std::FILE* out, const TrialCounts& counts);

// A batch that runs one ICP run per step, so a window can draw and take input
// between runs: start() takes the log, each step() runs the geometric or the
// colour run of the current trial (the colour step then writes the trial's
// result files and then its log line; a run that failed or left a non-finite
// result is logged and stored with kTrialUnsetError and its start pose), and
// finish() writes the three count lines over the finished trials and lets
// the log go, then, when any trial's result files could not be written
// (counts().unsaved; such a trial keeps its previous files), prints "Result
// files not written for %d of %d trials.\n" on standard output.
// The log on disk is replaced after each trial (a new file renamed over it),
// so a batch stopped at any moment, even killed, leaves either the previous
// log or a whole prefix of the new one whose trials all have their files;
// finish() before done() leaves the log and files of every finished trial
// complete, and a trial whose geometric run is done but not its colour run
// leaves no trace in the log. The result files of trial N go to base + "_N"
// (N from 1); standard output gets "posicion inicial\n\n", then "Ensayo %d\n"
// and "COLOR %d\n" per trial.
//
// The parallel mode (parallel(true) before start()): the trials run side by
// side on ICP_THREADS workers, each on a fresh engine with a sample
// generator of its own (app/parallel_trials.h); the start poses are the
// default mode's for the same seed. step() then hands over the next trial in
// order, whole (both runs): the same console lines (each run's engine
// messages printed together, after its "Ensayo"/"COLOR" line), log line,
// result files, table row, record and counts as a default trial, from the
// parallel mode's own outcome; further methods (more_methods) run when the
// trial is handed over. The debugging pose file is not written in this
// mode. finish() stops the workers after their current runs; trials they
// finished beyond the trials handed over are dropped, so log, files and
// counts keep describing the same prefix of trials.
class TrialBatch {
 public:
  TrialBatch() = default;
  TrialBatch(const TrialBatch&) = delete;
  TrialBatch& operator=(const TrialBatch&) = delete;
  ~TrialBatch();

  // Takes the log base + ".txt" for this batch (a lock file beside it,
  // base + ".txt.lock", held until finish()), completes sets a dead writer
  // left half renamed in its folder, and takes mesh 2's pose as the
  // reference. Needs both meshes with colours. The batch moves `aligner`'s
  // mesh 2 and sets `view`'s three result poses; both must outlive it.
  // False, with a message on standard error and nothing touched, when
  // another batch holds the log, the log's folder refuses new files, its
  // file system lacks room for `count` trials' files (about 40 KB and five
  // files each, against disk_space), or mesh 2's pose, size or centre is
  // not finite.
  bool start(Aligner& aligner, ViewState& view, const std::string& base, uint32_t seed,
             int count, const TrialBatchHooks& hooks);
  // Chooses the parallel mode for the next start() (default: off).
  void parallel(bool on) { parallel_ = on; }
  bool is_parallel() const { return parallel_; }
  // Runs the next ICP run (parallel mode: hands over the next trial);
  // nothing once done().
  void step();
  bool done() const { return trials_done_ == count_; }
  // Writes the count lines, runs beside_log (the files written beside the
  // log: basin picture, tables) while the log is still held, so a second
  // batch on the same log cannot interleave with them, and releases the log;
  // false when any save of the log failed (said on standard error when it
  // happened). Nothing after the first call.
  bool finish(const std::function<void()>& beside_log = {});

  int count() const { return count_; }
  int trials_done() const { return trials_done_; }
  // Trials the last start() ran at once (1 in the default mode).
  int trials_at_once() const { return trials_at_once_; }
  // ICP runs done and in all (two per trial).
  int runs_done() const { return 2 * trials_done_ + (geometric_done_ ? 1 : 0); }
  int runs_total() const { return 2 * count_; }
  const TrialCounts& counts() const { return counts_; }
  // One record per finished trial.
  const std::vector<TrialRecord>& records() const { return records_; }
  // One table row per finished trial, every method's run in it.
  const std::vector<TrialRow>& rows() const { return rows_; }

 private:
  void geometric_run();
  void color_run();
  void start_workers(uint32_t seed);
  void parallel_trial();
  // The trial's log line, colour pose, counts, record, row and result files,
  // once both runs are in the engine and view state.
  void close_trial();
  bool open_log();
  void save_log();

  Aligner* aligner_ = nullptr;
  ViewState* view_ = nullptr;
  TrialBatchHooks hooks_;
  std::string log_path_;
  FileLock lock_;           // held from start() to finish()
  bool log_open_ = false;   // between start() and finish()
  bool log_ok_ = false;     // every save of the log so far succeeded
  std::string log_text_;    // the log's text so far
  size_t log_saved_ = 0;    // bytes of log_text_ on disk
  PoseMatrix reference_;
  point centre_;         // the rotations' centre: mesh 2's view sphere centre
  point box_centre_;     // mesh 2's box centre, own coordinates
  double diagonal_ = 0;  // mesh 2's box diagonal
  double range_ = 0;     // translation range D
  PoseScorer scorer_;    // the reference, centre, diagonal and pose rule
  TrialRow row_;         // the current trial's row, until its colour run ends
  PoseMatrix icp_start_; // where both variants of the current trial started
  TrialRng rng_{0};
  int count_ = 0;
  int trials_done_ = 0;
  bool geometric_done_ = false;
  bool placed_ = true;          // the current trial's prealignment (if any) placed mesh 2
  std::string geometric_text_;  // the log line's first half, until the colour run
  TrialCounts counts_;
  std::vector<TrialRecord> records_;
  std::vector<TrialRow> rows_;
  bool parallel_ = false;
  int trials_at_once_ = 1;
  std::vector<PoseMatrix> starts_;             // parallel mode: every trial's start
  std::unique_ptr<ParallelTrials> trials_;     // parallel mode: the workers
};

// The batch's progress as the panel and icp_tool show it, Windows-1252:
// "Ensayo n / N" (n the trial running, from 1), the three counts so far, and
// the elapsed and expected remaining time (remaining from the mean time per
// ICP run so far; "?" before the first run ends).
struct BatchProgress {
  std::string trial, counts, times;
};
BatchProgress batch_progress(const TrialBatch& batch, double elapsed_seconds);
