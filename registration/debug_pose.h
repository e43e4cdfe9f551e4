// The debugging pose file: every successful ICP run leaves mesh 2's pose in
// prueba.xf (pose-file format), in a folder that belongs to the user alone,
// so no other user can plant a link or a pipe at its name.
#pragma once

#include <string>

#include "geometry/PoseMatrix.h"

// Where the file goes: $XDG_RUNTIME_DIR/prueba.xf when that variable names
// an absolute folder of this user that no one else may write to; otherwise
// prueba.xf in the folder icp_tool under $XDG_CACHE_HOME (or ~/.cache),
// created private (0700) when missing. "" when the file is turned off
// (ICP_DEBUG_POSE=0) or no such folder exists or can be made; a folder that
// is a link, belongs to someone else or is open to others never qualifies.
std::string debug_pose_path();

// Writes `pose` to debug_pose_path(). Never follows a link, never writes into
// anything but a regular file, never blocks (a pipe at the name is left
// alone); any failure is ignored, as the file only helps debugging.
void write_debug_pose(const PoseMatrix& pose);
