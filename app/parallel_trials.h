// The trials of a batch run side by side (the opt-in parallel mode of the
// trial batch, `icp_tool trials --parallel`, "Paralelo" in the window).
//
// In the default batch every trial inherits the state the trials before it
// left: the engine's process-wide sample generator and the overlap weights of
// the last run. Here every trial starts from nothing but its own start pose:
// a fresh engine (its own slots over the batch's meshes and k-d trees, which
// are shared and only read) with a sample generator of its own, seeded from
// the batch seed and the trial number. A trial's outcome therefore depends on
// (seed, trial number) alone, not on which thread ran it or when, and the
// batch gives the same bytes on any number of threads; it is not the default
// batch's outcome for the same seed (other samples are drawn).
//
// Every trial's engine starts with the overlap weights of the reference pose
// (the source's poses when the batch starts), whatever weights the source
// held before. A default-mode trial inherits the weights of the run before
// it, which are those of the reference whenever that run converged; weights
// taken afresh at each start instead measurably raise the geometric run's
// success over the default batch's, so the two modes would not measure the
// same thing.
//
// Workers (ICP_THREADS of them, each running its engine's loops on its own
// thread) take trials in order; the caller takes the outcomes in trial order
// through `wait_for`, on its own thread, so everything the batch writes is
// written there, in order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "geometry/PoseMatrix.h"
#include "registration/Aligner.h"

// What one trial of the parallel mode produced: both runs' records, result
// poses and success, and the engine's console messages of each run.
struct ParallelTrialOutcome {
  PoseMatrix run_start;              // where both runs started (after any prealignment)
  VariantRecord icp, color;          // the engine's records of both runs
  PoseMatrix icp_pose, color_pose;   // mesh 2 after each run
  bool icp_ok = false, color_ok = false;  // what align and align_color returned
  double icp_ms = 0, color_ms = 0;   // each run's wall time
  bool prealigned = false;           // what the prealignment hook returned
  std::string prealign_console, icp_console, color_console;  // their messages
};

// The sample generator state of trial `trial` (from 0) of a batch seeded
// with `seed`: a mix of both, so neighbouring seeds and trials start far
// apart in the generator's sequence.
uint32_t trial_sample_seed(uint32_t seed, int trial);

// The engine work of one trial on its own engine: mesh 2 at `start`, the
// prealignment hook when set, the geometric run, mesh 2 back to where the
// geometric run started, the colour-feature hook, the colour run.
struct ParallelTrialHooks {
  std::function<void(Aligner&)> prepare_color_features;
  std::function<bool(Aligner&)> prealign;
};

class ParallelTrials {
 public:
  // Starts `threads` workers on the trials whose start poses are `starts`
  // (trial i from starts[i]); source's poses now are the batch's reference.
  // `source` lends its meshes and k-d trees (they must not change, nor
  // `source` be destroyed, until this object is); each trial's engine copies
  // source's slots otherwise (colour data, feature marks, occupancy grids),
  // with the reference's overlap weights in place of source's own (source is
  // left as it was). The hooks are first run once on `source` on the calling
  // thread, so whatever they derive lazily from the shared meshes exists
  // before any worker reads them.
  ParallelTrials(Aligner& source, std::vector<PoseMatrix> starts, uint32_t seed,
                 const ParallelTrialHooks& hooks, int threads);
  // Cancels and waits for the workers.
  ~ParallelTrials();
  ParallelTrials(const ParallelTrials&) = delete;
  ParallelTrials& operator=(const ParallelTrials&) = delete;

  // Blocks until trial `trial` has finished and returns its outcome; null
  // once the batch was cancelled before that trial finished.
  const ParallelTrialOutcome* wait_for(int trial);
  // Workers take no new trial and leave a trial between its two runs; the
  // runs under way end normally. Safe from any thread.
  void cancel();
  // Trials run at once: `threads`, fewer for a shorter batch, one when the
  // meshes cannot be shared.
  int workers() const { return int(workers_.size()); }

 private:
  struct Shared;  // the source's meshes, trees and slot copies
  // Gives the slot copies the overlap weights of their poses (source's).
  void take_reference_weights();
  void work();
  // False when the batch was cancelled between the trial's two runs.
  bool run_trial(int trial, ParallelTrialOutcome& out);
  bool cancelled();

  std::unique_ptr<Shared> shared_;
  ParallelTrialHooks hooks_;
  std::vector<PoseMatrix> starts_;
  uint32_t seed_;
  std::vector<ParallelTrialOutcome> outcomes_;
  std::vector<char> finished_;  // guarded by mutex_
  int next_ = 0;                // next trial to take, guarded by mutex_
  bool cancelled_ = false;      // guarded by mutex_
  int workers_stopped_ = 0;     // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> workers_;
};
