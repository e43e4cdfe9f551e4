// Global prealignment: places mesh 2 on mesh 1 from any starting position,
// so that either ICP variant (which converges only from nearby starts) can
// finish the job. Method: both scans are thinned to voxel centroids with
// averaged normals, each point gets a fast point feature histogram (FPFH,
// Rusu et al. 2009) of its neighbourhood, and a fast global registration
// (Zhou, Park and Koltun 2016) matches the features and solves for the rigid
// motion with a robust, graduated cost.
//
// Everything is computed in each scan's own frame, so the answer does not
// depend on mesh 2's starting pose: pressing it twice, or from two different
// starts, gives the same pose. Scale-free: the voxel edge and the radii are
// fractions of the scans' bounding-box diagonals, so metre and millimetre
// scans behave alike. The random choices of the matcher use a fixed seed:
// the same two scans always give the same pose, bit for bit.
//
// Uses only positions and normals: scans without colours and point sets
// without faces are accepted (a point set's normals come from its neighbours).
#pragma once

#include <string>

#include "geometry/PoseMatrix.h"
#include "mesh/TriMesh.h"
#include "registration/Aligner.h"

struct PrealignResult {
  bool ok = false;            // true: `pose` is trustworthy (fitness at least kPrealignMinFitness)
  PoseMatrix pose;            // mesh 2 frame -> common frame; mesh 2's input pose when !ok
  float fitness = 0.0f;       // 0..1: share of mesh 2's thinned points that land within 1.5
                              // voxel edges of mesh 1's thinned points at `pose`
  double milliseconds = 0.0;  // wall time of the whole step
  std::string message;        // one line without a newline: the refusal's reason, or a summary
};

// Poses whose fitness is below this are refused: with under a third of mesh 2
// landing on mesh 1 the feature matches are more likely chance than overlap.
const float kPrealignMinFitness = 0.3f;
// Fewest thinned points per scan: fewer cannot carry distinctive features.
const int kPrealignMinPoints = 30;

// False when this build has no prealignment (the library it needs was
// missing at configure time); prealign then always refuses and says so.
bool prealignment_available();

// Finds mesh 2's pose (moving, placed by moving_pose) on mesh 1 (fixed,
// placed by fixed_pose). Computes the meshes' normals and bounding boxes
// when missing (the only change to them). Refuses, with ok false, pose = moving_pose and a message,
// when either mesh has fewer than kPrealignMinPoints thinned points (few
// vertices, or all of them in a tiny region of its box), when the best pose
// has fitness below kPrealignMinFitness (no overlap), or when the
// prealignment is not available in this build. moving_pose matters only
// for that refusal: a found pose depends on the meshes and fixed_pose alone.
PrealignResult prealign(TriMesh& fixed, const PoseMatrix& fixed_pose, TriMesh& moving,
                        const PoseMatrix& moving_pose);

// The step on the engine's slots, as the panel and icp_tool run it: mesh 2
// (slots[1]) onto mesh 1 (slots[0]) at their poses; prints
// prealign_report_line on standard error and moves slots[1].pose to the
// found pose. False, with nothing moved, when it refuses or a slot is empty.
// `outcome` (may be null) receives the step's result.
bool prealign_mesh2(Aligner& aligner, PrealignResult* outcome = nullptr);

// The one console line that reports a prealignment, newline included:
// "Prealignment succeeded - fitness = %f, %.2f msec.\n", or
// "Prealignment failed: <message> (%.2f msec.)\n" when it refused.
std::string prealign_report_line(const PrealignResult& result);
