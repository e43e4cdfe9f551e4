// Global prealignment: places mesh 2 on mesh 1 from any starting position,
// so that either ICP variant (which converges only from nearby starts) can
// finish the job, and says plainly when it cannot.
//
// Method: both scans are thinned to voxel centroids (normals averaged, and
// colours when both scans have them) at two scales, 3 % and 2 % of the
// smaller bounding-box diagonal. Each point gets a fast point feature
// histogram (FPFH, Rusu et al. 2009) of its neighbourhood, plus, when both
// scans carry colour, a histogram of the neighbourhood's colours
// (color_histogram.h), so the turns of a symmetric shape differ by their
// paint. Two matchers, fast global registration (Zhou, Park and Koltun 2016)
// and RANSAC over feature pairs, give one hypothesis per scale each. Each
// hypothesis is refined by a short ICP on 1 % voxels (the colour-aware one
// when both scans have colour; kept only when it fits better) and measured
// on the full scans (placement_check.h): overlap (share of mesh 2 within 4
// point spacings of mesh 1), residual (RMS of those distances, in point
// spacings) and, with colour, the colour difference of the pairs.
//
// Verification: a hypothesis is verified when its fitness (overlap) is at
// least kPrealignMinFitness and its residual at most kPrealignMaxResidual
// spacings. Measured on the 23 overlapping bunny scan pairs both ways,
// right placements reached 0.35-0.94 overlap with residuals of 0.9-1.9
// spacings, wrong ones at most 0.25 overlap or 2.1 spacings or more. The
// verified one of best score (overlap x (1 - residual / 4) x colour
// agreement) is kept; the step refuses when none is verified, or when
// another verified one places mesh 2 elsewhere and scores within 5 % of it
// (a symmetric shape that neither shape nor colour tells apart).
//
// Everything is computed in each scan's own frame, so the answer does not
// depend on mesh 2's starting pose: pressing it twice, or from two different
// starts, gives the same pose. Scale-free: voxels and radii are fractions of
// the diagonals, the check's distances multiples of the point spacing. The
// matchers' random choices use a fixed seed and the library runs on one
// thread, its random draws under one lock (global_matching.h): the same two scans always give
// the same pose, bit for bit, whatever other threads do.
//
// Scans without colours and point sets without faces are accepted (a point
// set's normals come from its neighbours).
#pragma once

#include <string>

#include "geometry/PoseMatrix.h"
#include "mesh/TriMesh.h"
#include "registration/Aligner.h"
#include "registration/global_matching.h"

struct PrealignResult {
  bool ok = false;              // true: `pose` is verified (see above)
  PoseMatrix pose;              // mesh 2 frame -> common frame; mesh 2's input pose when !ok
  float fitness = 0.0f;         // 0..1: overlap of the kept (or, refused, the best) hypothesis
  float residual = 0.0f;        // its RMS pair distance, in point spacings (0..4)
  float color_difference = 0.0f;  // its mean colour difference per channel, 0..1 (0: no colour)
  int hypotheses = 0;           // hypotheses tried
  std::string kept;             // the kept (or best refused) hypothesis, e.g. "FGR 2 %"
  double milliseconds = 0.0;    // wall time of the whole step
  std::string message;          // one line without a newline: what was kept and why, or the
                                // refusal's reason
};

// Hypotheses with a lower overlap, or a higher residual (point spacings),
// are not verified.
const float kPrealignMinFitness = 0.2f;
const float kPrealignMaxResidual = 2.0f;
// Fewest thinned points per scan: fewer cannot carry distinctive features.
const int kPrealignMinPoints = 30;

// False when the prealignment's module (or a library it needs) is missing
// on this machine; prealign then always refuses and says so. Loads the
// module on its first call.
bool prealignment_available();

// Finds mesh 2's pose (moving, placed by moving_pose) on mesh 1 (fixed,
// placed by fixed_pose). Computes the meshes' normals and bounding boxes
// when missing (the only change to them). Refuses, with ok false, pose =
// moving_pose and a message, when either mesh has fewer than
// kPrealignMinPoints thinned points (few vertices, or all of them in a tiny
// region of its box), when no hypothesis is verified or two disagree (see
// above), or when the prealignment is unavailable. moving_pose matters only
// for a refusal: a found pose depends on the meshes and fixed_pose alone.
PrealignResult prealign(TriMesh& fixed, const PoseMatrix& fixed_pose, TriMesh& moving,
                        const PoseMatrix& moving_pose);

// One scan readied for the prealignment's matching, so that a scan matched
// against many others (a scan set) is thinned and described once: its
// clouds and features at the matching scales and its refinement cloud, on
// voxels that are fractions of `diagonal`. Two readied scans match only
// when readied with the same diagonal (their voxels must be equal).
const int kPrealignScales = 2;
struct PrealignScan {
  double diagonal = 0.0;
  MatchCloud clouds[kPrealignScales];          // coloured when the scan has colours
  MatchFeatures shape[kPrealignScales];        // FPFH; empty below kPrealignMinPoints
  MatchFeatures with_color[kPrealignScales];   // FPFH + colour histograms; empty without colours
  MatchCloud refine_cloud;
  double spacing = 0.0;                        // point_spacing of the scan
  std::string error;                           // the library's complaint; empty when none
};

// Readies `mesh`, whose normals and bounding box exist, on voxels that are
// fractions of `diagonal` (> 0). Needs the prealignment (see
// prealignment_available); reads the mesh only, so scans can be readied
// side by side.
PrealignScan ready_for_prealign(const TriMesh& mesh, double diagonal);

// The prealignment of two readied scans (same diagonal), as prealign() runs
// it once both are readied: prealign(fixed, ..., moving, ...) gives, bit for
// bit, prealign_readied(fixed, ready_for_prealign(fixed, d), ..., moving,
// ready_for_prealign(moving, d), ...) with d the smaller of their diagonals.
// Reads the meshes and readied scans only. `ransac_iterations` bounds the
// RANSAC matcher's draws (prealign() uses kPrealignRansacIterations).
const int kPrealignRansacIterations = 50000;
PrealignResult prealign_readied(const TriMesh& fixed, const PrealignScan& fixed_scan,
                                const PoseMatrix& fixed_pose, const TriMesh& moving,
                                const PrealignScan& moving_scan, const PoseMatrix& moving_pose,
                                int ransac_iterations = kPrealignRansacIterations);

// The step on the engine's slots, as the panel and icp_tool run it: mesh 2
// (slots[1]) onto mesh 1 (slots[0]) at their poses; prints
// prealign_report_line on the thread's console (geometry/console.h) and moves slots[1].pose to the
// found pose. False, with nothing moved, when it refuses or a slot is empty.
// `outcome` (may be null) receives the step's result.
bool prealign_mesh2(Aligner& aligner, PrealignResult* outcome = nullptr);

// The one console line that reports a prealignment, newline included:
// "Prealignment succeeded - fitness = %f, residual = %.2f spacings,
// <message>, %.2f msec.\n" (message: which hypothesis was kept, of how many,
// how many verified), or "Prealignment failed: <message> (%.2f msec.)\n"
// when it refused.
std::string prealign_report_line(const PrealignResult& result);
