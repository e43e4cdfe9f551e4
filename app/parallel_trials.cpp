#include "app/parallel_trials.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "geometry/Lcg32.h"
#include "geometry/console.h"
#include "geometry/parallel.h"
#include "registration/color_dirs.h"
#include "spatial/KDtree.h"

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds_since(Clock::time_point begin) {
  return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

// Makes sure everything a run derives lazily from a mesh or keeps in its
// slot across runs exists before the workers share them: normals, both
// adjacency tables, the bounding box (the pairing radius reads it), colour
// directions, the k-d tree. Returns false for a
// range grid that yields no faces: asking for its faces rebuilds them at
// every call, which workers sharing the mesh must not do.
bool prepare_shared(MeshSlot& slot) {
  TriMesh& mesh = *slot.mesh;
  mesh.need_normals();
  mesh.need_neighbors();
  mesh.need_vertex_faces();
  mesh.need_bounding_box();
  compute_color_dirs(slot);
  if (!slot.kdtree) slot.kdtree = std::make_unique<KDtree>(mesh.vertices);
  return !(mesh.faces.empty() && !mesh.grid.empty());
}

}  // namespace

uint32_t trial_sample_seed(uint32_t seed, int trial) {
  // Two rounds of a 32-bit integer hash over the pair.
  uint32_t x = seed ^ (uint32_t(trial) * 0x9E3779B9u);
  for (int round = 0; round < 2; round++) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
  }
  return x;
}

// The source's meshes and trees, lent to every trial's engine, and copies
// of its slots without them.
struct ParallelTrials::Shared {
  TriMesh* meshes[2] = {nullptr, nullptr};
  KDtree* trees[2] = {nullptr, nullptr};
  MeshSlot slots[2];

  // Gives `engine` copies of the slots holding the shared meshes and trees.
  void lend(Aligner& engine) const {
    for (int k = 0; k < 2; k++) {
      MeshSlot& slot = *engine.slots[k];
      slot = slots[k];
      slot.mesh.reset(meshes[k]);
      slot.kdtree.reset(trees[k]);
    }
  }
  // Takes the shared meshes and trees back before `engine` is destroyed.
  static void take_back(Aligner& engine) {
    for (auto& slot : engine.slots) {
      (void)slot->mesh.release();
      (void)slot->kdtree.release();
    }
  }
};

ParallelTrials::ParallelTrials(Aligner& source, std::vector<PoseMatrix> starts, uint32_t seed,
                               const ParallelTrialHooks& hooks, int threads)
    : shared_(std::make_unique<Shared>()),
      hooks_(hooks),
      starts_(std::move(starts)),
      seed_(seed),
      outcomes_(starts_.size()),
      finished_(starts_.size(), 0) {
  bool shareable = true;
  for (auto& slot : source.slots) shareable = prepare_shared(*slot) && shareable;
  if (hooks_.prepare_color_features) hooks_.prepare_color_features(source);
  for (int k = 0; k < 2; k++) {
    MeshSlot& slot = *source.slots[k];
    shared_->meshes[k] = slot.mesh.get();
    shared_->trees[k] = slot.kdtree.get();
    // The copy leaves out the mesh (a deep copy) and the tree (a copy has none).
    SlotMesh mesh = std::move(slot.mesh);
    shared_->slots[k] = slot;
    slot.mesh = std::move(mesh);
  }
  take_reference_weights();
  int workers = shareable ? threads : 1;
  if (workers > int(starts_.size())) workers = int(starts_.size());
  for (int w = 0; w < workers; w++) workers_.emplace_back([this] { work(); });
}

void ParallelTrials::take_reference_weights() {
  Aligner scratch;
  shared_->lend(scratch);  // the copies hold source's poses
  scratch.refresh_overlap_weights();
  for (int k = 0; k < 2; k++) {
    shared_->slots[k].weights = scratch.slots[k]->weights;
    shared_->slots[k].grid = scratch.slots[k]->grid;  // built over the shared vertices
  }
  Shared::take_back(scratch);
}

ParallelTrials::~ParallelTrials() {
  cancel();
  for (std::thread& worker : workers_) worker.join();
}

void ParallelTrials::cancel() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
  }
  changed_.notify_all();
}

const ParallelTrialOutcome* ParallelTrials::wait_for(int trial) {
  if (trial < 0 || size_t(trial) >= outcomes_.size()) return nullptr;
  std::unique_lock<std::mutex> lock(mutex_);
  // Workers stop only when every trial is taken or the batch is cancelled,
  // so a trial unfinished once all have stopped was cancelled.
  changed_.wait(lock, [&] {
    return finished_[size_t(trial)] || workers_stopped_ == int(workers_.size());
  });
  return finished_[size_t(trial)] ? &outcomes_[size_t(trial)] : nullptr;
}

void ParallelTrials::work() {
  LoopsInlineOnThisThread loops_inline;
  for (;;) {
    int trial;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (cancelled_ || size_t(next_) >= starts_.size()) break;
      trial = next_++;
    }
    bool complete = run_trial(trial, outcomes_[size_t(trial)]);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (complete) finished_[size_t(trial)] = 1;
    }
    changed_.notify_all();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    workers_stopped_++;
  }
  changed_.notify_all();
}

bool ParallelTrials::cancelled() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cancelled_;
}

bool ParallelTrials::run_trial(int trial, ParallelTrialOutcome& out) {
  Aligner engine;
  shared_->lend(engine);
  Lcg32 samples;
  samples.state = trial_sample_seed(seed_, trial);
  engine.own_sample_generator = &samples;
  engine.write_debug_pose = false;
  MeshSlot& moving = *engine.slots[1];

  moving.pose = starts_[size_t(trial)];
  if (hooks_.prealign) {
    out.prealigned = capture_console(out.prealign_console, [&] { return hooks_.prealign(engine); });
  }
  out.run_start = moving.pose;
  Clock::time_point begin = Clock::now();
  out.icp_ok = capture_console(out.icp_console, [&] { return engine.align(2); });
  out.icp_ms = milliseconds_since(begin);
  out.icp = engine.icp;
  out.icp_pose = moving.pose;
  // A cancelled batch keeps only whole trials: this one is dropped here.
  const bool complete = !cancelled();
  if (complete) {
    moving.pose = out.run_start;
    if (hooks_.prepare_color_features) {
      capture_console(out.color_console, [&] {
        hooks_.prepare_color_features(engine);
        return true;
      });
    }
    begin = Clock::now();
    std::string run_console;
    out.color_ok = capture_console(run_console, [&] { return engine.align_color(2); });
    out.color_ms = milliseconds_since(begin);
    out.color_console += run_console;
    out.color = engine.color;
    out.color_pose = moving.pose;
  }
  Shared::take_back(engine);
  return complete;
}
