// Reading a pose file (".xf", PoseMatrix.h) with the reason it cannot be
// used. A scan's pose file is optional, so a missing one is no fault; one
// that is there but unreadable, or holds a matrix that cannot place a scan,
// must be reported instead of quietly replaced by the identity. Reading
// never blocks and never takes much memory: only regular files of at most
// kMaxPoseFileBytes are read (a pipe, device or folder at that name is
// refused without being read), whatever the file claims.
#pragma once

#include <string>

#include "geometry/PoseMatrix.h"

// A pose file is four short lines; this is twenty times the longest text
// the program writes, so anything larger is not a pose file.
constexpr long kMaxPoseFileBytes = 8192;

enum class PoseFileStatus {
  absent,           // no file by that name (or no name): the identity, no fault
  not_regular,      // a folder, pipe, device or socket: not read
  too_large,        // more than kMaxPoseFileBytes: not read
  unopenable,       // there, but opening or reading failed (`error` says why)
  too_few_numbers,  // the text ends after `numbers` numbers (fewer than sixteen)
  not_a_number,     // entry `numbers` + 1 is not a number (NaN and infinities included)
  no_line_end,      // the file ends right after the sixteenth number
  rigid,            // read whole: a rotation and a translation
  not_rigid,        // read whole and invertible, but scaled, sheared, mirrored or projective
  singular,         // read whole, but it flattens space (no inverse)
};

struct PoseFileCheck {
  PoseFileStatus status = PoseFileStatus::absent;
  int numbers = 0;  // too_few_numbers, not_a_number: numbers read before the fault
  int error = 0;    // unopenable: the errno of the failure
  long bytes = 0;   // too_large: the file's size
};

// Reads `path` as a pose file. The matrix goes to `m` when the sixteen
// numbers parse by the pose-file rule (status rigid, not_rigid or singular);
// otherwise `m` is untouched. Prints nothing.
PoseFileCheck read_pose_file(const std::string& path, PoseMatrix& m);

// The shape of a matrix: rigid when its bottom row is 0 0 0 1 and its upper
// 3x3 block is a rotation to within 1e-2 (dot products of its columns: pose
// files keep six digits, and hand-made ones are nudged a little); singular when its
// determinant is below 1e-9 of its rows' lengths' product (scale-free);
// not_rigid otherwise. A non-finite entry counts as not_a_number.
PoseFileStatus pose_shape(const PoseMatrix& m);

// The sixteen numbers were read (rigid, not_rigid or singular): what
// read_pose (PoseMatrix.h) accepts.
bool pose_was_read(PoseFileStatus status);
// The file's matrix places a scan (rigid or not_rigid); otherwise the scan
// takes the identity.
bool pose_is_usable(PoseFileStatus status);
// The user should hear of it: anything but absent and rigid.
bool pose_needs_warning(PoseFileStatus status);

// Why, in a few English words after the file's name ("holds only 12 of its
// sixteen numbers", "is not a regular file", "does not exist"); empty for rigid.
std::string pose_problem_text(const PoseFileCheck& check);
