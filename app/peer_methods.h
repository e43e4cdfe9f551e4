// The peer methods a trial batch can run beside its two variants, from the
// same start of every trial, scored by the same pose rule:
//   o3d_point_to_plane  the point-cloud library's point-to-plane ICP
//   o3d_colored         its colour-aware ICP
// both on the full scans with a halving schedule of scan-relative settings:
// with dmin the smaller of the two scans' bounding-box diagonals (mesh 1 as
// placed, mesh 2 in its own frame), seven stages pairing points within
// 0.5 dmin / 2^k (k = 0 .. 6), at most 30 steps each. Mesh 2's vertices move
// (own frame, start = the trial's start pose), mesh 1's stay placed by its
// pose; normals are the area-weighted face normals of each vertex (the unit
// sum of its faces' cross products; the mesh's own normals for a point set);
// colours as read. The result is mesh 2's final pose.
#pragma once

#include <string>
#include <vector>

#include "app/trial_batch.h"

// The method names --methods accepts, the two variants first.
extern const std::vector<std::string> kBatchMethods;

// Splits a comma-separated list of method names. `peers` receives the
// named methods other than "icp" and "icp_color" (which always run: the log
// and the result files need both), in the list's order, each once. False,
// with `why`, for an empty list or an unknown name.
bool parse_method_list(const std::string& list, std::vector<std::string>& peers,
                       std::string& why);

// Sets hooks.more_methods to run `peers` after the two variants of every
// trial. Copies both meshes as the slots hold them now into the library's
// clouds, with what every trial reuses (for o3d_colored the target's colour
// gradients of each stage), so call it after loading, before the batch
// starts. False, with `why`, when the peers' module is not available or
// fails on the scans. Nothing is set for an empty list.
bool add_peer_methods(Aligner& aligner, const std::vector<std::string>& peers,
                      TrialBatchHooks& hooks, std::string& why);
