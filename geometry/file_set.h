// Several files replaced as one set (a result set's summary, poses and
// table): either every file is new or every file is as before, also across a
// crash. Each file is written and synced under a temporary name first; a
// small journal naming the pending renames is synced before the first
// rename and removed after the last. A crash between two renames leaves the
// journal and the remaining (whole) temporaries; complete_interrupted_sets,
// run by the next batch, save or load in that folder, finishes the renames.
#pragma once

#include <string>
#include <vector>

struct FileContent {
  std::string path;
  std::string bytes;
};

// Why a set was not written: the file, whether it could not be opened at all
// (as against written), the errno, and a sentence.
struct SetFailure {
  std::string path;
  bool opening = false;
  int error = 0;
  std::string why;
};

// Replaces the files of `files` as a set, installing them in the given order
// (put the file a reader looks for first last). Files that must be written
// in place (durable_write.h) are all opened and checked for room on their
// disk before any file changes. False, with `failure` filled, when the set
// could not be written: then no file has changed, except when a rename after
// the first fails, which leaves the set's journal for the next
// complete_interrupted_sets to finish (said in `failure.why`).
bool replace_file_set(const std::vector<FileContent>& files, SetFailure& failure);

// In `folder`: completes every set whose writer died between its renames,
// from its journal, then removes the temporaries and journals of this
// program left by writers that are no longer running on this host. Only
// files of this user are touched; another running writer's are left alone.
void complete_interrupted_sets(const std::string& folder);
