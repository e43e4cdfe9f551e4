// Aligner: the alignment engine. Owns the two mesh slots (slots[0] mesh 1,
// fixed; slots[1] mesh 2, moving), the ICP settings (`IcpParams`, reset to
// their defaults at every entry-point call), the last errors and the per-step error
// histories. Entry points `align` (geometric ICP) and `align_color` (colour ICP)
// move slots[1]->pose in place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "geometry/Lcg32.h"
#include "registration/IcpParams.h"
#include "registration/MeshSlot.h"
#include "registration/PointPair.h"
#include "registration/sampler.h"

class Timer;

// Which variant an alignment runs; steps record their errors in that
// variant's record and nowhere else when the mode is `none`.
enum class IcpMode : int32_t {
  none = 0,       // outside an alignment: steps record nothing
  geometric = 1,  // `align`: normal-compatible pairs only
  color = 2,      // `align_color`: plus a colour-compatible pass
};

// What one ICP variant leaves behind: emptied at the start of each call of
// its entry point, read by the result files, the trial batch and the viewer.
struct VariantRecord {
  std::vector<float> history;       // RMS error of every step, in order
  std::vector<int32_t> run_starts;  // index into `history` where each run began
  std::vector<float> real_error;    // never appended to; written as an empty column
  float error = 0.0f;               // last RMS error (999999 after a run that measured nothing)
  int32_t iterations = 0;           // main-loop iterations of the last run so far (the console's
                                    // "Did N iterations"); `history` also holds the coarse steps
};

class Aligner {
 public:
  std::unique_ptr<MeshSlot> slots[2];
  IcpMode mode = IcpMode::none;   // the variant of the running alignment
  VariantRecord icp;              // geometric ICP (`align`)
  VariantRecord color;            // colour ICP (`align_color`)
  float best_error = 0.0f;        // best final error of the current call; 999999 at entry
  IcpParams params;               // reset to IcpParams() by every entry point
  // Called between the stages and steps of a run (after the trees and colour
  // directions, after the initial phase, after every main-loop step), so a
  // window can redraw and take a cancel; it must not touch the slots or the
  // records. Returning false stops the run: the entry point then fails as
  // any failed run does (mesh 2 back at its entry pose) with `cancelled`
  // set. Empty: runs go through untouched. Results never depend on it.
  std::function<bool()> between_steps;
  bool cancelled = false;         // the last entry-point call was stopped by between_steps
  // This engine's own sample generator, stepped by its runs instead of the
  // process-wide one (registration/sampler.h); null: the process-wide one.
  // Engines running side by side each need one of their own.
  Lcg32* own_sample_generator = nullptr;
  bool write_debug_pose = true;   // each successful run writes mesh 2's pose to the debugging pose file
  // The generator this engine's runs draw their samples from.
  Lcg32& samples() { return own_sample_generator ? *own_sample_generator : sample_generator(); }

  Aligner();
  ~Aligner();

  // ---- Entry points (registration/icp_driver.cpp) ----------------------
  // Geometric ICP of slots[1] onto slots[0]. `params` is reset to its
  // defaults, so every run works at verbosity 1 whatever is passed
  // (`verbosity` only gates the colour variant's direction timing). Empties
  // both slots' feature_marks, builds missing k-d trees, empties `icp`.
  // False when a slot has no mesh or a mesh has no vertices, or when the run
  // fails ("No overlap.", or no pairs within reach at all); mesh 2's pose is
  // then as at entry. On success mesh 2 stays at the result and icp.error
  // holds its RMS error.
  bool align(int verbosity);
  // Colour ICP: as `align`, but in colour mode, the feature marks are kept as
  // set by the caller, colour directions are computed where missing (timing
  // printed when `verbosity` is at least 1), and `color` is used. Also false
  // when a mesh has no per-vertex colours.
  bool align_color(int verbosity);
  // The record of the running variant; null when mode is `none`.
  VariantRecord* active_record();
  // The pairs of the last step any run took, outliers dropped: after an
  // alignment that reached its dense final step, that step's pairs.
  const std::vector<PointPair>& last_pairs() const { return pair_buffer; }
  // Both slots' overlap weights at their current poses, as a run's
  // distribution refresh computes them. The next run starts sampling from
  // them when they hold any overlap (see the driver's initial phase).
  void refresh_overlap_weights() { update_overlap_weights(); }

 private:
  // The single steps below are the engine's own; its tests reach them
  // through registration/icp_steps.h.
  friend struct IcpSteps;
  // Asks between_steps whether the run goes on; false sets `cancelled`.
  bool go_on();

  // Scratch buffers reused by every step, so that once the first steps have
  // sized them an alignment allocates nothing per iteration.
  std::vector<PointPair> pair_buffer;
  std::vector<uint32_t> dist2_buffer;  // bit patterns of the squared pair distances

  // ---- Driver (registration/icp_driver.cpp) ----------------------------
  // The driver shared by both entry points, in four phases: preparation
  // (normals, neighbours, vertex-face lists, pairing radius, uniform
  // sampling), the initial phase (coarse point-to-point steps, overlap
  // weights where missing or holding no overlap at all, one point-to-plane
  // step with a distribution refresh), the main
  // point-to-plane loop with re-seeding (k mod 30 = 9), weight and
  // distribution refresh (k mod 10 = 9) until stall_count of the last
  // stall_window steps did not improve the error, and one dense final step.
  // Then, when write_debug_pose is set, mesh 2's pose is written to the user's own debugging pose file
  // (registration/debug_pose.h; a write failure is ignored). False when a distribution refresh
  // finds no overlap, and when no step of the run found enough pairs to
  // measure an error (the variant's error is then set to 999999). Needs both
  // slots' meshes and k-d trees.
  bool run_icp();
  bool align_variant(IcpMode variant, int verbosity_arg);
  bool prepare_run();
  bool initial_phase(float& incr);
  // Point-to-plane steps on the schedule until the error stalls; false when a
  // distribution refresh finds no overlap.
  bool main_loop(float& incr);
  void final_step(float incr);
  // Two translation-only point-to-point steps, then five full ones.
  void coarse_phase(float& incr);

  // ---- Correspondence (registration/correspondence.cpp) ----------------
  // Samples one mesh along its cdf (direction false: mesh 1, true: mesh 2)
  // about 2 / incr times and appends a PointPair per sample whose nearest
  // normal-compatible vertex of the other mesh lies within max_dist and is
  // not a boundary vertex. Unless mode is `geometric` a second pass pairs samples of
  // significant colour with colour-compatible vertices. Appends nothing when
  // incr is not positive, when either slot lacks a mesh, k-d tree, normals or
  // a cdf sized to its vertices; the colour pass is skipped when colours,
  // colour directions or significant flags are not sized to the vertices.
  void collect_pairs(float incr, std::vector<PointPair>& pairs, bool direction);
  // collect_pairs for direction false, then true: the same samples and pairs
  // in the same order, with the searches of both in one parallel loop.
  void collect_pairs_both(float incr, std::vector<PointPair>& pairs);
  // Recomputes both slots' weights (1 where the vertex, placed by the current
  // poses, falls in an occupied cell of the other mesh's 16^3 grid, strictly
  // inside its box; with check_nearest also next to a non-boundary vertex).
  // Sets max_dist to the smaller grid cell size when it is not positive.
  // A mesh without vertices gets no weights.
  void update_overlap_weights();
  // Median squared pair distance: the value of rank n/2 (0-based) in ascending
  // order, 0 for an empty list. Does not reorder `pairs`.
  float median_dist2(const std::vector<PointPair>& pairs);
  // Drops the pairs farther apart than factor * median_dist2 (squared),
  // keeping the order of the rest, and returns that threshold.
  float reject_pairs(std::vector<PointPair>& pairs, float factor);
  // Uniform sampling: cdf[i] = (i + 1) / n, the last entry exactly 1.
  void reset_cdfs();
  // Stability-weighted sampling from the point-to-plane system (ascending
  // eigenvalues, eigenvectors as columns evecs[row][col], centroid, scale).
  // False, after "No overlap.\n" when verbosity is not 0, when mesh 1 (then
  // mesh 2 is not touched) or mesh 2 has no mass left.
  bool update_cdfs(const float evals[6], const float evecs[6][6], const point& centroid,
                   float scale);

  // ---- Solver steps (registration/solvers.cpp) -------------------------
  // One coarse ICP iteration on about pairs_point pairs: translation only, or
  // a linearised rotation about the centroids. Too few pairs leave everything
  // unchanged. When the 3x3 system is singular (all paired points of mesh 2 on
  // one line) only the translation is applied. Always returns true.
  bool step_point_to_point(float& incr, bool translate_only);
  // One point-to-plane iteration with damping of poorly determined motions.
  // Outside an alignment (mode `none`) it gathers no pairs. Too few pairs, or
  // pairs whose mesh-2 points all coincide, leave everything unchanged. When
  // refresh_cdfs is set the sampling distributions are recomputed afterwards;
  // false only when that finds no overlap.
  bool step_point_to_plane(float& incr, bool refresh_cdfs);
  // The pairs of one step in pair_buffer: both directions sampled at `incr`
  // (nothing when `collect` is false), their count printed at verbosity 2
  // with the time since `step_timer` started, outliers beyond
  // reject_factor * median squared distance dropped. Returns that squared
  // threshold.
  float gather_pairs(float incr, bool collect, float reject_factor, const Timer& step_timer);
};
