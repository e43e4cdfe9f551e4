// The ICP driver: coarse point-to-point iterations, then point-to-plane
// iterations with periodic re-seeding and re-weighting until the error stalls,
// then one dense final iteration. Also the two entry points around it, which
// differ only in the variant they run.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "geometry/console.h"
#include "registration/Aligner.h"
#include "registration/color_dirs.h"
#include "registration/debug_pose.h"
#include "registration/timer.h"
#include "spatial/KDtree.h"

namespace {

const float kUnsetError = 999999.0f;
// Coarse phase: translation-only steps, then full point-to-point steps.
const int kCoarseTranslateSteps = 2;
const int kCoarseRotateSteps = 5;
// Main loop schedule: re-seed with a coarse phase at k mod 30 = 9, refresh
// weights and distributions at the other k with k mod 10 = 9.
const int kReseedPeriod = 30;
const int kRefreshPeriod = 10;
const int kScheduleOffset = 9;

bool slot_ready(const MeshSlot& slot) { return slot.mesh && !slot.mesh->vertices.empty(); }

// Whether the overlap weights an earlier run left can serve this run's first
// distribution refresh. Weights of another size are missing. Weights with no
// overlap at all were left by a run that ended (or refreshed them) far from
// the other mesh: kept, they would make that refresh find no sampling mass
// and fail with "No overlap." whatever this run's start, and so every later
// run of the batch or session too. Both are computed afresh.
bool weights_usable(const MeshSlot& slot) {
  const std::vector<float>& w = slot.weights;
  if (w.size() != slot.mesh->vertices.size()) return false;
  return std::any_of(w.begin(), w.end(), [](float x) { return x != 0.0f; });
}

bool has_colors(const MeshSlot& slot) {
  return slot.mesh->colors.size() == slot.mesh->vertices.size();
}

void build_missing_trees(Aligner& a) {
  for (auto& slot : a.slots)
    if (!slot->kdtree) slot->kdtree = std::make_unique<KDtree>(slot->mesh->vertices);
}

// The last `size` steps of the main loop, 1 where a step did not improve
// the error (oldest first).
class StallWindow {
 public:
  explicit StallWindow(int size) : flags_(size_t(size > 0 ? size : 1), 0) {}
  // Slides the window on by one step and returns how many of its steps stalled.
  int push(bool stalled) {
    int stalls = 0;
    for (size_t w = 0; w + 1 < flags_.size(); w++) {
      flags_[w] = flags_[w + 1];
      stalls += flags_[w];
    }
    flags_.back() = stalled ? 1 : 0;
    return stalls + flags_.back();
  }

 private:
  std::vector<char> flags_;
};

}  // namespace

VariantRecord* Aligner::active_record() {
  if (mode == IcpMode::geometric) return &icp;
  if (mode == IcpMode::color) return &color;
  return nullptr;
}

bool Aligner::go_on() {
  if (!between_steps || between_steps()) return true;
  cancelled = true;
  return false;
}

bool Aligner::align(int verbosity_arg) { return align_variant(IcpMode::geometric, verbosity_arg); }

bool Aligner::align_color(int verbosity_arg) { return align_variant(IcpMode::color, verbosity_arg); }

bool Aligner::align_variant(IcpMode variant, int verbosity_arg) {
  if (!slot_ready(*slots[0]) || !slot_ready(*slots[1])) return false;
  if (variant == IcpMode::color && (!has_colors(*slots[0]) || !has_colors(*slots[1]))) return false;
  // Every run works with the default parameters, at verbosity 1, whatever the
  // caller passes: a 100-trial batch (which passes 2) prints only the per-run
  // summaries.
  params = IcpParams();
  mode = variant;
  cancelled = false;
  if (variant == IcpMode::geometric) {
    slots[0]->feature_marks.clear();
    slots[1]->feature_marks.clear();
  }
  build_missing_trees(*this);
  if (!go_on()) return false;
  if (variant == IcpMode::color) {
    Timer timer;
    compute_color_dirs(*slots[0]);
    if (!go_on()) return false;
    compute_color_dirs(*slots[1]);
    if (verbosity_arg >= 1)
      std::fprintf(console_stream(), "Time for diferencia color vecinos: %.2f msec.\n\n", timer.elapsed_ms());
    if (!go_on()) return false;
  }

  VariantRecord& record = *active_record();
  record = VariantRecord();
  best_error = kUnsetError;
  PoseMatrix kept = slots[1]->pose;

  record.run_starts.push_back(int32_t(record.history.size()));
  bool ok = run_icp();
  if (ok) {
    if (record.error < best_error) kept = slots[1]->pose;
    if (record.error != 0.0f) best_error = record.error;
  }
  slots[1]->pose = kept;
  return ok;
}

namespace {

// Both meshes' boundary flags for the length of one run: the searches test
// the boundary of many candidates, and one byte per vertex is far cheaper to
// read than the two adjacency lists is_boundary compares. Emptied when the
// run ends, so a later edit of a mesh never meets stale flags. A mesh whose
// tables stayed empty (it has no faces) has no boundary: all flags 0, where
// asking is_boundary would try to build its faces again at every call.
class RunBoundaryFlags {
 public:
  explicit RunBoundaryFlags(Aligner& a) : a_(a) {
    std::vector<uint8_t> flags[2];
    for (int k = 0; k < 2; k++) {
      TriMesh& mesh = *a_.slots[k]->mesh;
      flags[k].assign(mesh.vertices.size(), 0);
      if (!mesh.neighbors.empty() && !mesh.vertex_faces.empty())
        for (size_t v = 0; v < flags[k].size(); v++) flags[k][v] = mesh.is_boundary(int(v)) ? 1 : 0;
    }
    for (int k = 0; k < 2; k++) a_.slots[k]->boundary.swap(flags[k]);
  }
  ~RunBoundaryFlags() {
    for (auto& slot : a_.slots) std::vector<uint8_t>().swap(slot->boundary);
  }
  RunBoundaryFlags(const RunBoundaryFlags&) = delete;
  RunBoundaryFlags& operator=(const RunBoundaryFlags&) = delete;

 private:
  Aligner& a_;
};

// Both meshes' sampling filters for the length of one run: the masks the
// passes draw through (feature marks for the geometric pass when a mesh has
// any, significant flags for the colour pass of a colour run) do not change
// during a run, so each draw a mask rejects can be told from a bucket table
// rebuilt with every distribution instead of walking the distribution.
// Emptied when the run ends, so a mask edited between runs never meets stale
// tables.
class RunSampleFilters {
 public:
  explicit RunSampleFilters(Aligner& a) : a_(a) {
    for (auto& slot : a_.slots) {
      const size_t n = slot->mesh->vertices.size();
      const std::vector<bool>& marks = slot->feature_marks;
      if (!marks.empty())
        slot->sample_filters[0].set_mask(n, [&marks](size_t v) { return v < marks.size() && marks[v]; });
      const std::vector<int32_t>& significant = slot->significant_flags;
      if (a_.mode != IcpMode::geometric && significant.size() == n)
        slot->sample_filters[1].set_mask(n, [&significant](size_t v) { return significant[v] != 0; });
    }
  }
  ~RunSampleFilters() {
    for (auto& slot : a_.slots)
      for (SampleFilter& filter : slot->sample_filters) filter.clear();
  }
  RunSampleFilters(const RunSampleFilters&) = delete;
  RunSampleFilters& operator=(const RunSampleFilters&) = delete;

 private:
  Aligner& a_;
};

// Both meshes' colour records for the length of a colour run: each candidate
// of the colour search then reads its direction and colour from one record.
// Emptied when the run ends, like the boundary flags, so that a later change
// of a mesh's colours never meets stale records.
class RunColorRecords {
 public:
  explicit RunColorRecords(Aligner& a) : a_(a) {
    if (a_.mode == IcpMode::geometric) return;
    for (auto& slot : a_.slots)
      build_color_records(slot->color_dirs, slot->mesh->colors, slot->mesh->vertices.size(), slot->color_records);
  }
  ~RunColorRecords() {
    for (auto& slot : a_.slots) std::vector<ColorRecord>().swap(slot->color_records);
  }
  RunColorRecords(const RunColorRecords&) = delete;
  RunColorRecords& operator=(const RunColorRecords&) = delete;

 private:
  Aligner& a_;
};

}  // namespace

bool Aligner::run_icp() {
  if (!prepare_run()) return false;
  if (VariantRecord* record = active_record()) record->iterations = 0;
  RunBoundaryFlags boundary_flags(*this);
  RunSampleFilters sample_filters(*this);
  RunColorRecords color_records(*this);
  float incr = 0.0f;
  if (!initial_phase(incr) || !go_on()) return false;
  if (!main_loop(incr)) return false;
  final_step(incr);

  // A run in which no step found enough pairs has measured nothing: mesh 2
  // never moved and 0 would read as a perfect result. It fails instead, with
  // the unset error, so neither the caller nor a trial count takes it for a
  // success.
  if (VariantRecord* record = active_record()) {
    size_t run_start = record->run_starts.empty() ? 0 : size_t(record->run_starts.back());
    if (record->history.size() <= run_start) {
      record->error = kUnsetError;
      return false;
    }
  }

  if (write_debug_pose) ::write_debug_pose(slots[1]->pose);
  return true;
}

// Preparation: both meshes and trees present, and the derived data the
// steps read built before any timing starts.
bool Aligner::prepare_run() {
  if (!slot_ready(*slots[0]) || !slot_ready(*slots[1])) return false;
  if (!slots[0]->kdtree || !slots[1]->kdtree) return false;
  for (auto& slot : slots) {
    slot->mesh->need_normals();
    slot->mesh->need_neighbors();
    slot->mesh->need_vertex_faces();
  }
  return true;
}

// Initial phase: pairing radius, uniform sampling, the coarse steps, overlap
// weights where missing or empty of overlap, and one point-to-plane step that
// refreshes the sampling distributions. False when that refresh finds no overlap.
bool Aligner::initial_phase(float& incr) {
  Timer timer;
  // Pairing radius: half the smaller local bounding-box diagonal.
  if (params.max_dist <= 0.0f) {
    slots[0]->mesh->need_bounding_box();
    slots[1]->mesh->need_bounding_box();
    float d1 = len(slots[0]->mesh->bounding_box.size());
    float d2 = len(slots[1]->mesh->bounding_box.size());
    params.max_dist = 0.5f * (d1 < d2 ? d1 : d2);
  }
  reset_cdfs();

  coarse_phase(incr);
  for (auto& slot : slots) {
    if (!weights_usable(*slot)) {
      update_overlap_weights();
      break;
    }
  }
  bool ok = step_point_to_plane(incr, true);
  if (params.verbosity >= 1)
    std::fprintf(console_stream(), "Time for initial iterations: %.2f msec.\n\n", timer.elapsed_ms());
  return ok;
}

// Main loop: point-to-plane steps on the schedule until the error stalls or
// max_iterations steps have run. False when a distribution refresh finds no
// overlap.
bool Aligner::main_loop(float& incr) {
  Timer timer;
  StallWindow window(params.stall_window);
  int k = 0;
  for (; k < params.max_iterations; k++) {
    Timer iteration_timer;
    VariantRecord* record = active_record();
    if (record) record->iterations = k;
    float prev = record ? record->error : 0.0f;
    if (params.verbosity > 1) std::fprintf(console_stream(), "Using incr = %f\n", incr);
    if (k % kReseedPeriod == kScheduleOffset) {
      coarse_phase(incr);
      update_overlap_weights();
      continue;
    }
    bool refresh = k % kRefreshPeriod == kScheduleOffset;
    if (refresh) update_overlap_weights();
    bool ok = step_point_to_plane(incr, refresh);
    if (params.verbosity > 1)
      std::fprintf(console_stream(), "Time for this iteration: %.2f msec.\n\n", iteration_timer.elapsed_ms());
    if (!ok || !go_on()) return false;
    float now = record ? record->error : 0.0f;
    if (window.push(now >= prev) >= params.stall_count) break;
  }
  if (VariantRecord* record = active_record()) record->iterations = k;
  if (params.verbosity >= 1) {
    if (VariantRecord* record = active_record())
      std::fprintf(console_stream(), "Did %d iterations\n%f\n", k, record->error);
    std::fprintf(console_stream(), "Time for main iterations: %.2f msec.\n\n", timer.elapsed_ms());
    if (params.verbosity > 1) std::fprintf(console_stream(), "Last iteration...\n");
  }
  return true;
}

void Aligner::coarse_phase(float& incr) {
  incr = 4.0f / float(params.pairs_point);
  for (int i = 0; i < kCoarseTranslateSteps; i++) step_point_to_point(incr, true);
  for (int i = 0; i < kCoarseRotateSteps; i++) step_point_to_point(incr, false);
}

// Final step: one point-to-plane step on ten times the pair budget.
void Aligner::final_step(float incr) {
  Timer timer;
  incr = incr * (float(params.pairs_plane) / float(params.pairs_final));
  if (params.verbosity > 1) std::fprintf(console_stream(), "Using incr = %f\n", incr);
  step_point_to_plane(incr, false);
  if (params.verbosity >= 1)
    std::fprintf(console_stream(), "Time for this iteration: %.2f msec.\n\n", timer.elapsed_ms());
}
