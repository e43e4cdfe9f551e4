// Start poses of a batch as a file, so a batch can be replayed exactly or fed
// from another program: one 4x4 matrix of mesh 2's start pose per trial, four
// lines of four numbers row by row, each trial after a "# trial N" comment.
// Numbers are written with %.17g, which reads back to the same float64, so a
// replayed batch starts from bit-identical poses.
#pragma once

#include <string>
#include <vector>

#include "geometry/PoseMatrix.h"

// The file's text for `starts` (trial numbers from 1).
std::string start_poses_text(const std::vector<PoseMatrix>& starts);

// Reads every matrix of `path`: numbers separated by blanks, line ends or
// commas, 16 per matrix row by row; "#" starts a comment to the line's end.
// False, with `why` set and `starts` untouched, when the file cannot be read,
// holds a token that is not a finite number, a count of numbers that is not
// a multiple of 16, no matrix at all, more than `max_count` matrices (reading
// stops there), or a matrix that is not a rigid motion (the 3x3 part
// orthonormal with determinant +1 within 1e-5, last row 0 0 0 1).
bool read_start_poses(const std::string& path, size_t max_count, std::vector<PoseMatrix>& starts,
                      std::string& why);
