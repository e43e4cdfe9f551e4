// The merged model of a scan set: every placed scan's points in the common
// frame, with their normals and colours, optionally thinned to one point per
// cube of a voxel grid so the overlaps do not pile up; written as a binary
// coloured PLY that the window and other point-cloud tools read.
#pragma once

#include <string>
#include <vector>

#include "geometry/PoseMatrix.h"
#include "mesh/TriMesh.h"

// Thinning grids finer than this many cubes along an axis are refused.
const double kMaxVoxelsPerAxis = 1 << 20;

// The finite vertices of every scan, each moved by its pose (normals turned
// with it, computed first when missing), with its colour, or white for a
// scan without colours. With voxel_fraction > 0, one point per occupied cube
// of edge voxel_fraction x the diagonal of the merged box: the mean position,
// the mean normal renormalised (the first normal of the cube where they
// cancel out) and the mean colour, cubes in (z, y, x) order. False, with
// `why`, when the fraction is not finite, not above 0 and at most 1 (0: no
// thinning), or makes more than kMaxVoxelsPerAxis cubes along an axis.
bool merge_scans(const std::vector<TriMesh*>& scans, const std::vector<PoseMatrix>& poses,
                 double voxel_fraction, TriMesh& merged, std::string& why);

// Binary little-endian PLY of a point cloud: x y z nx ny nz as floats, red
// green blue as bytes (the cloud must have one normal and one colour per
// point).
std::string merged_ply_bytes(const TriMesh& cloud);
