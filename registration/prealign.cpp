// The prealignment's method; the point-cloud library's primitives come
// through registration/global_matching.h (a module opened on first use).
#include "registration/prealign.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "geometry/console.h"
#include "registration/timer.h"

#include "registration/color_histogram.h"
#include "registration/global_matching.h"
#include "registration/placement_check.h"
#include "registration/thin_cloud.h"

namespace {

PrealignResult refuse(const PoseMatrix& moving_pose, const std::string& why) {
  PrealignResult result;
  result.pose = moving_pose;
  result.message = why;
  return result;
}

}  // namespace

std::string prealign_report_line(const PrealignResult& result) {
  char text[400];
  if (result.ok)
    std::snprintf(text, sizeof text,
                  "Prealignment succeeded - fitness = %f, residual = %.2f spacings, %s, %.2f msec.\n",
                  result.fitness, result.residual, result.message.c_str(), result.milliseconds);
  else
    std::snprintf(text, sizeof text, "Prealignment failed: %s (%.2f msec.)\n",
                  result.message.c_str(), result.milliseconds);
  return text;
}

bool prealign_mesh2(Aligner& aligner, PrealignResult* outcome) {
  MeshSlot& fixed = *aligner.slots[0];
  MeshSlot& moving = *aligner.slots[1];
  PrealignResult result;
  if (!fixed.mesh || !moving.mesh) {
    result = refuse(moving.pose, "a mesh is missing");
  } else {
    result = prealign(*fixed.mesh, fixed.pose, *moving.mesh, moving.pose);
    moving.pose = result.pose;
  }
  // The thread's console: a parallel batch's worker collects it with the
  // trial's other messages, printed in trial order.
  std::fputs(prealign_report_line(result).c_str(), console_stream());
  if (outcome) *outcome = result;
  return result.ok;
}

namespace {

// Scales of the matching, as fractions of the smaller of the two
// bounding-box diagonals: features on voxels of 3 % (some 600-1500 points on
// a typical scan: distinctive, and matched in tens of milliseconds) and of
// 2 % (finer detail, for scans whose overlap is small).
const double kVoxelFractions[] = {0.03, 0.02};
// Feature neighbourhood: 5 voxel edges, at most 100 neighbours, the usual
// choice for FPFH (it must see the shape, not the voxel noise).
const double kFeatureRadiusVoxels = 5.0;
const int kFeatureMaxNeighbours = 100;
// Pairs closer than 1.5 voxel edges count as matched by the matchers.
const double kMatchDistanceVoxels = 1.5;
// The matchers' random draws always start from this seed.
const uint32_t kMatcherSeed = 1;
// Colour histograms: bins per channel and weight (see color_histogram.h).
const int kColorBins = 8;
const float kColorScale = 100.0f;
// Refinement: a short ICP on voxels of 1 % of the diagonal, taking pairs up
// to one matching voxel apart (a matcher's pose is rarely further off).
const double kRefineFraction = 0.01;
const double kRefineDistanceFraction = 0.015;
const int kRefineIterations = 30;
// The check pairs mesh 2's vertices with mesh 1's within 4 point spacings.
const double kCheckSpacings = 4.0;

const char kNoExtent[] = "a scan has no extent (no vertices, or all in one point)";

// Diagonal of the box of the finite vertices; 0 when there are none.
double box_diagonal(TriMesh& mesh) {
  mesh.need_bounding_box();
  if (!mesh.bounding_box.valid) return 0.0;
  point s = mesh.bounding_box.max - mesh.bounding_box.min;
  return std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
}

bool has_colors(const TriMesh& mesh) {
  return !mesh.colors.empty() && mesh.colors.size() == mesh.vertices.size();
}

// How good a placement looks: its overlap, less for a loose fit and for
// mismatched colours.
float fit_score(const PlacementFit& fit) {
  return fit.overlap * (1.0f - fit.residual) * std::max(0.0f, 1.0f - 4.0f * fit.color);
}

// One candidate placement (mesh 2's frame -> mesh 1's) and how it fits.
struct Hypothesis {
  std::string name;
  PoseMatrix pose;
  PlacementFit fit;
};

bool verified(const PlacementFit& fit) {
  return fit.overlap >= kPrealignMinFitness &&
         fit.residual * kCheckSpacings <= kPrealignMaxResidual;
}

// True when the two placements of mesh 2 differ by more than 2 degrees or
// move its box centre by more than 1 % of the diagonal apart: two different
// answers, not one answer reached twice.
bool placements_differ(const PoseMatrix& a, const PoseMatrix& b, const point& centre,
                       double diagonal) {
  const PoseMatrix d = inverse(a) * b;
  const double c = (d.at(0, 0) + d.at(1, 1) + d.at(2, 2) - 1.0) / 2.0;
  const double degrees = std::acos(std::max(-1.0, std::min(1.0, c))) * 180.0 / M_PI;
  return degrees > 2.0 ||
         dist(transform_point(a, centre), transform_point(b, centre)) > 0.01 * diagonal;
}

// Keeps the verified hypothesis of best score, or refuses: none verified,
// or another verified one places mesh 2 elsewhere and scores within 5 % of
// it (a symmetric shape whose turns neither shape nor colour tell apart).
PrealignResult choose(const std::vector<Hypothesis>& hypotheses, const PoseMatrix& fixed_pose,
                      const PoseMatrix& moving_pose, const point& centre, double diagonal) {
  const Hypothesis* best = nullptr;
  const Hypothesis* best_any = &hypotheses[0];
  int count_verified = 0;
  for (const Hypothesis& h : hypotheses) {
    if (fit_score(h.fit) > fit_score(best_any->fit)) best_any = &h;
    if (!verified(h.fit)) continue;
    count_verified++;
    if (!best || fit_score(h.fit) > fit_score(best->fit)) best = &h;
  }
  const Hypothesis& shown = best ? *best : *best_any;
  PrealignResult result = refuse(moving_pose, "");
  result.fitness = shown.fit.overlap;
  result.residual = shown.fit.residual * float(kCheckSpacings);
  result.color_difference = shown.fit.color;
  result.hypotheses = int(hypotheses.size());
  result.kept = shown.name;
  char text[240];
  if (!best) {
    std::snprintf(text, sizeof text,
                  "no hypothesis verified (best %s: fitness %.3f, residual %.2f spacings; "
                  "needs fitness >= %.2f and residual <= %.2f)",
                  shown.name.c_str(), result.fitness, result.residual, kPrealignMinFitness,
                  kPrealignMaxResidual);
    result.message = text;
    return result;
  }
  for (const Hypothesis& h : hypotheses)
    if (&h != best && verified(h.fit) && fit_score(h.fit) >= 0.95f * fit_score(best->fit) &&
        placements_differ(h.pose, best->pose, centre, diagonal)) {
      std::snprintf(text, sizeof text,
                    "ambiguous: %s and %s place mesh 2 differently and fit alike (score %.3f "
                    "and %.3f)",
                    best->name.c_str(), h.name.c_str(), fit_score(best->fit), fit_score(h.fit));
      result.message = text;
      return result;
    }
  // The pose maps mesh 2's frame to mesh 1's; mesh 1's pose carries on to
  // the common frame.
  result.ok = true;
  result.pose = fixed_pose * best->pose;
  std::snprintf(text, sizeof text, "kept %s, best of %d hypotheses (%d verified)",
                best->name.c_str(), result.hypotheses, count_verified);
  result.message = text;
  return result;
}

// The scale's features of a readied scan, with colour when both scans of
// the pair carry it.
const MatchFeatures& features_of(const PrealignScan& scan, int scale, bool color) {
  return color ? scan.with_color[scale] : scan.shape[scale];
}

PrealignResult match(const GlobalMatching& library, const TriMesh& fixed,
                     const PrealignScan& fixed_scan, const PoseMatrix& fixed_pose,
                     const TriMesh& moving, const PrealignScan& moving_scan,
                     const PoseMatrix& moving_pose, int ransac_iterations) {
  const double diagonal = fixed_scan.diagonal;
  if (!(diagonal > 0.0) || !std::isfinite(diagonal))
    return refuse(moving_pose, kNoExtent);
  const bool color = has_colors(fixed) && has_colors(moving);
  std::string error;
  char text[240];

  // Hypotheses: both matchers on the features of both scales.
  std::vector<Hypothesis> hypotheses;
  for (int scale = 0; scale < kPrealignScales; scale++) {
    const double fraction = kVoxelFractions[scale];
    const double voxel = fraction * diagonal;
    const MatchCloud& target = fixed_scan.clouds[scale];
    const MatchCloud& source = moving_scan.clouds[scale];
    if (target.points.size() < size_t(kPrealignMinPoints) ||
        source.points.size() < size_t(kPrealignMinPoints)) {
      if (!hypotheses.empty()) continue;
      std::snprintf(text, sizeof text, "too few points to match (%zu and %zu, at least %d each)",
                    target.points.size(), source.points.size(), kPrealignMinPoints);
      return refuse(moving_pose, text);
    }
    for (const PrealignScan* scan : {&fixed_scan, &moving_scan})
      if (scan->shape[scale].values.empty())
        return refuse(moving_pose, "prealignment failed: " + scan->error);
    const MatchFeatures& target_features = features_of(fixed_scan, scale, color);
    const MatchFeatures& source_features = features_of(moving_scan, scale, color);
    const double match = kMatchDistanceVoxels * voxel;
    Hypothesis h;
    std::snprintf(text, sizeof text, "%g %%", 100.0 * fraction);
    // A matcher that finds no consistent matches gives no hypothesis.
    if (library.fast_global(source, source_features, target, target_features, match,
                            kMatcherSeed, h.pose.m, error)) {
      h.name = std::string("FGR ") + text;
      hypotheses.push_back(h);
    }
    if (library.ransac(source, source_features, target, target_features, match,
                       ransac_iterations, kMatcherSeed, h.pose.m, error)) {
      h.name = std::string("RANSAC ") + text;
      hypotheses.push_back(h);
    }
  }

  // Each refined briefly, then measured on the full scans.
  const MatchCloud& target = fixed_scan.refine_cloud;
  const MatchCloud& source = moving_scan.refine_cloud;
  const double spacing = std::max(fixed_scan.spacing, moving_scan.spacing);
  PlacementChecker checker(fixed, moving, kCheckSpacings * spacing);
  std::vector<PoseMatrix> raw;  // the hypotheses' poses before refinement
  const point centre = moving.bounding_box.center();
  for (size_t k = 0; k < hypotheses.size(); k++) {
    Hypothesis& h = hypotheses[k];
    // Matchers often agree: a placement already refined is not refined again.
    size_t same = 0;
    while (same < k && placements_differ(raw[same], h.pose, centre, diagonal)) same++;
    raw.push_back(h.pose);
    if (same < k) {
      h.pose = hypotheses[same].pose;
      h.fit = hypotheses[same].fit;
      continue;
    }
    h.fit = checker.measure(h.pose);
    PoseMatrix refined;
    if (library.refine(source, target, h.pose.m, kRefineDistanceFraction * diagonal,
                       kRefineIterations, color, refined.m, error)) {
      PlacementFit fit = checker.measure(refined);
      if (fit_score(fit) >= fit_score(h.fit)) h.pose = refined, h.fit = fit;
    }
  }
  if (hypotheses.empty())
    return refuse(moving_pose, "no overlap found (no consistent feature matches)");
  return choose(hypotheses, fixed_pose, moving_pose, centre, diagonal);
}

}  // namespace

bool prealignment_available() { return global_matching(nullptr) != nullptr; }

PrealignScan ready_for_prealign(const TriMesh& mesh, double diagonal) {
  PrealignScan scan;
  scan.diagonal = diagonal;
  const GlobalMatching* library = global_matching(&scan.error);
  const bool color = has_colors(mesh);
  for (int scale = 0; scale < kPrealignScales; scale++) {
    const double voxel = kVoxelFractions[scale] * diagonal;
    scan.clouds[scale] = thin_scan(mesh, voxel, color);
    if (!library || scan.clouds[scale].points.size() < size_t(kPrealignMinPoints)) continue;
    const double radius = kFeatureRadiusVoxels * voxel;
    std::string error;
    if (!library->fpfh(scan.clouds[scale], radius, kFeatureMaxNeighbours, scan.shape[scale],
                       error)) {
      scan.shape[scale] = MatchFeatures();
      if (scan.error.empty()) scan.error = error;
      continue;
    }
    if (!color) continue;
    scan.with_color[scale] = scan.shape[scale];
    append_color_histograms(scan.clouds[scale], radius, kColorBins, kColorScale,
                            scan.with_color[scale]);
  }
  scan.refine_cloud = thin_scan(mesh, kRefineFraction * diagonal, color);
  scan.spacing = point_spacing(mesh);
  return scan;
}

PrealignResult prealign_readied(const TriMesh& fixed, const PrealignScan& fixed_scan,
                                const PoseMatrix& fixed_pose, const TriMesh& moving,
                                const PrealignScan& moving_scan, const PoseMatrix& moving_pose,
                                int ransac_iterations) {
  Timer timer;
  std::string why;
  const GlobalMatching* library = global_matching(&why);
  PrealignResult result =
      library ? match(*library, fixed, fixed_scan, fixed_pose, moving, moving_scan, moving_pose,
                      ransac_iterations)
              : refuse(moving_pose, "prealignment is unavailable: " + why);
  result.milliseconds = timer.elapsed_ms();
  return result;
}

PrealignResult prealign(TriMesh& fixed, const PoseMatrix& fixed_pose, TriMesh& moving,
                        const PoseMatrix& moving_pose) {
  Timer timer;
  std::string why;
  PrealignResult result;
  const double diagonal = std::min(box_diagonal(fixed), box_diagonal(moving));
  if (!global_matching(&why)) {
    result = refuse(moving_pose, "prealignment is unavailable: " + why);
  } else if (!(diagonal > 0.0) || !std::isfinite(diagonal)) {
    result = refuse(moving_pose, kNoExtent);
  } else {
    fixed.need_normals();
    moving.need_normals();
    result = prealign_readied(fixed, ready_for_prealign(fixed, diagonal), fixed_pose, moving,
                              ready_for_prealign(moving, diagonal), moving_pose);
  }
  result.milliseconds = timer.elapsed_ms();
  return result;
}
