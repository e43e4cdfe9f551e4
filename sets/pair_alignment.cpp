#include "sets/pair_alignment.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "geometry/console.h"
#include "registration/Aligner.h"
#include "registration/color_features.h"
#include "registration/global_matching.h"
#include "registration/placement_check.h"
#include "registration/prealign.h"
#include "registration/thin_cloud.h"
#include "registration/timer.h"

namespace {

// The "Umbral" slider's start value, used for the colour preparation.
const float kRidgeThreshold = 0.2f;
// The finishing ICP after a prealignment: voxels of 0.4 % of the smaller
// diagonal, pairs within 3 and then 1.5 voxels, at most 30 steps each.
const double kFineVoxel = 0.004;
const double kFineReach[] = {3.0, 1.5};
const int kFineIterations = 30;
// RANSAC's draws per matching in a set: a fifth of a lone prealignment's.
// A set's pairs back each other up (a pair missed is bridged by others, a
// wrong one outvoted by its triangles), and on the ten bunny scans this
// keeps every scan's pose while RANSAC's time drops to a third.
const int kSetRansacIterations = 10000;
// Partners within this many point spacings count (as the prealignment's check).
const double kCheckSpacings = 4.0;

// Where the engine's progress lines go while pairs run: nowhere, since many
// pairs run at once and their lines would interleave.
std::FILE* quiet_stream() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  return sink ? sink : stderr;
}

// The pose's fit, verified or not, in the outcome's terms.
void measure(const PlacementChecker& checker, const PoseMatrix& pose, PairOutcome& out) {
  const PlacementFit fit = checker.measure(pose);
  out.b_to_a = pose;
  out.overlap = fit.overlap;
  out.residual = fit.residual * float(kCheckSpacings);
  out.quality = fit.overlap * (1.0f - fit.residual);
  out.verified = fit.overlap >= kPrealignMinFitness && out.residual <= kPrealignMaxResidual;
}

// Our ICP of b onto a from `pose` (b's frame -> a's), on copies of the
// scans; false, pose untouched, when it fails.
bool refine(const PairScan& a, const PairScan& b, PoseMatrix& pose, uint32_t seed) {
  Aligner engine;
  engine.slots[0] = std::make_unique<MeshSlot>(a.slot);
  engine.slots[1] = std::make_unique<MeshSlot>(b.slot);
  engine.slots[0]->index = 0;
  engine.slots[1]->index = 1;
  engine.slots[0]->pose = PoseMatrix();
  engine.slots[1]->pose = pose;
  Lcg32 samples;
  samples.state = seed;
  engine.own_sample_generator = &samples;
  engine.write_debug_pose = false;
  ConsoleRedirect quiet(quiet_stream());
  const bool ok = (a.colored && b.colored) ? engine.align_color(0) : engine.align(0);
  if (ok) pose = engine.slots[1]->pose;
  return ok;
}

// The library's ICP (point-to-plane, or the colour variant) on both scans'
// fine clouds (voxels of kFineVoxel of the smaller diagonal), in stages of
// shrinking reach: the prealignment's pose is within a voxel or two, so this
// finishes it at a fraction of the cost of an ICP on every vertex. False,
// pose untouched, when the library is missing or fails.
bool fine_refine(const PairScan& a, const SetScanClouds& a_clouds, const PairScan& b,
                 const SetScanClouds& b_clouds, PoseMatrix& pose) {
  const GlobalMatching* library = global_matching(nullptr);
  if (!library) return false;
  const double voxel = kFineVoxel * a_clouds.diagonal;
  const bool color = a.colored && b.colored;
  std::string error;
  PoseMatrix current = pose;
  for (double reach : kFineReach) {
    PoseMatrix next;
    if (!library->refine(b_clouds.fine, a_clouds.fine, current.m, reach * voxel, kFineIterations,
                         color, next.m, error))
      return false;
    current = next;
  }
  pose = current;
  return true;
}

// Keeps `candidate` in `best` when it is verified and better.
void keep_better(const PairOutcome& candidate, PairOutcome& best) {
  if (candidate.verified && (!best.verified || candidate.quality > best.quality)) best = candidate;
}

}  // namespace

void ready_for_pairing(PairScan& scan) {
  TriMesh& mesh = *scan.slot.mesh;
  mesh.need_normals();
  mesh.need_bounding_box();
  scan.spacing = point_spacing(mesh);
  scan.colored = !mesh.colors.empty() && mesh.colors.size() == mesh.vertices.size();
  if (!scan.colored) return;
  // The features of one slot do not depend on the other's.
  Aligner engine;
  engine.slots[0] = std::make_unique<MeshSlot>(std::move(scan.slot));
  ConsoleRedirect quiet(quiet_stream());
  prepare_color_features(engine, kRidgeThreshold);
  scan.slot = std::move(*engine.slots[0]);
}

SetScanClouds ready_set_clouds(const PairScan& scan, double diagonal) {
  SetScanClouds clouds;
  clouds.diagonal = diagonal;
  clouds.prealign = ready_for_prealign(*scan.slot.mesh, diagonal);
  clouds.fine = thin_scan(*scan.slot.mesh, kFineVoxel * diagonal, scan.colored);
  return clouds;
}

double scan_diagonal(const PairScan& scan) {
  const TriMesh& mesh = *scan.slot.mesh;
  if (!mesh.bounding_box.valid) return 0.0;
  const point s = mesh.bounding_box.max - mesh.bounding_box.min;
  return std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
}

namespace {

// align_pair's steps; `icp_ms` and `prealign_ms` receive their time.
PairOutcome align_steps(const PairScan& a, const SetScanClouds& a_clouds, const PairScan& b,
                        const SetScanClouds& b_clouds, const PoseMatrix* start, uint32_t seed,
                        double& icp_ms, double& prealign_ms) {
  PairOutcome best;
  const PlacementChecker checker(*a.slot.mesh, *b.slot.mesh,
                                 kCheckSpacings * std::max(a.spacing, b.spacing));
  if (start) {
    Timer timer;
    PoseMatrix pose = *start;
    const bool ok = refine(a, b, pose, seed);
    icp_ms += timer.elapsed_ms();
    if (ok) {
      measure(checker, pose, best);
      best.note = "ICP from the scans' poses";
      if (best.verified) return best;
    }
  }
  const PrealignResult found = prealign_readied(*a.slot.mesh, a_clouds.prealign, PoseMatrix(),
                                                *b.slot.mesh, b_clouds.prealign, PoseMatrix(),
                                                kSetRansacIterations);
  prealign_ms += found.milliseconds;
  if (!found.ok) {
    if (!best.verified) best.note = "prealignment refused: " + found.message;
    return best;
  }
  PairOutcome candidate;
  measure(checker, found.pose, candidate);
  candidate.note = "prealignment (" + found.kept + ")";
  keep_better(candidate, best);
  PoseMatrix pose = found.pose;
  Timer timer;
  const bool refined_ok = fine_refine(a, a_clouds, b, b_clouds, pose);
  icp_ms += timer.elapsed_ms();
  if (refined_ok) {
    PairOutcome refined;
    measure(checker, pose, refined);
    refined.note = "prealignment (" + found.kept + ") + ICP";
    // The ICP works on every vertex, the check on a sample: a refined pose
    // that verifies is the finer one.
    if (refined.verified) best = refined;
    else best.note += "; ICP " + std::string(refined.overlap > 0 ? "did not verify" : "failed");
  } else {
    best.note += "; ICP failed";
  }
  if (!best.verified) best.note = "no pose verified after the prealignment";
  return best;
}

}  // namespace

PairOutcome align_pair(const PairScan& a, const SetScanClouds& a_clouds, const PairScan& b,
                       const SetScanClouds& b_clouds, const PoseMatrix* start, uint32_t seed) {
  double icp_ms = 0.0, prealign_ms = 0.0;
  PairOutcome outcome = align_steps(a, a_clouds, b, b_clouds, start, seed, icp_ms, prealign_ms);
  outcome.icp_ms = icp_ms;
  outcome.prealign_ms = prealign_ms;
  return outcome;
}
