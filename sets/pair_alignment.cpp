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

namespace {

// The "Umbral" slider's start value, used for the colour preparation.
const float kRidgeThreshold = 0.2f;
// The finishing ICP after a prealignment: voxels of 0.4 % of the smaller
// diagonal, pairs within 3 and then 1.5 voxels, at most 30 steps each.
const double kFineVoxel = 0.004;
const double kFineReach[] = {3.0, 1.5};
const int kFineIterations = 30;
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

double diagonal(const TriMesh& mesh) {
  const point s = mesh.bounding_box.max - mesh.bounding_box.min;
  return std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
}

// The library's ICP (point-to-plane, or the colour variant) on both scans
// thinned to voxels of kFineVoxel of the smaller diagonal, in stages of
// shrinking reach: the prealignment's pose is within a voxel or two, so this
// finishes it at a fraction of the cost of an ICP on every vertex. False,
// pose untouched, when the library is missing or fails.
bool fine_refine(const PairScan& a, const PairScan& b, PoseMatrix& pose) {
  const GlobalMatching* library = global_matching(nullptr);
  if (!library) return false;
  const double voxel = kFineVoxel * std::min(diagonal(*a.slot.mesh), diagonal(*b.slot.mesh));
  const bool color = a.colored && b.colored;
  const MatchCloud target = thin_scan(*a.slot.mesh, voxel, color);
  const MatchCloud source = thin_scan(*b.slot.mesh, voxel, color);
  std::string error;
  PoseMatrix current = pose;
  for (double reach : kFineReach) {
    PoseMatrix next;
    if (!library->refine(source, target, current.m, reach * voxel, kFineIterations, color, next.m,
                         error))
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

PairOutcome align_pair(const PairScan& a, const PairScan& b, const PoseMatrix* start,
                       uint32_t seed) {
  PairOutcome best;
  const PlacementChecker checker(*a.slot.mesh, *b.slot.mesh,
                                 kCheckSpacings * std::max(a.spacing, b.spacing));
  if (start) {
    PoseMatrix pose = *start;
    if (refine(a, b, pose, seed)) {
      measure(checker, pose, best);
      best.note = "ICP from the scans' poses";
      if (best.verified) return best;
    }
  }
  // The prealignment only reads meshes whose normals and box exist.
  TriMesh& fixed = const_cast<TriMesh&>(*a.slot.mesh);
  TriMesh& moving = const_cast<TriMesh&>(*b.slot.mesh);
  PrealignResult found;
  {
    ConsoleRedirect quiet(quiet_stream());
    found = prealign(fixed, PoseMatrix(), moving, PoseMatrix());
  }
  if (!found.ok) {
    if (!best.verified) best.note = "prealignment refused: " + found.message;
    return best;
  }
  PairOutcome candidate;
  measure(checker, found.pose, candidate);
  candidate.note = "prealignment (" + found.kept + ")";
  keep_better(candidate, best);
  PoseMatrix pose = found.pose;
  if (fine_refine(a, b, pose)) {
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
