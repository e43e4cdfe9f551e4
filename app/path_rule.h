// The path rule: wherever the program derives one file name from another it
// cuts the path at the last "." of its file name (the dot and everything after
// it go) and appends the new ending; a file name without "." is taken whole.
// Only the last path component is searched for the dot, so a dot in a folder
// name ("scans.v2/part") never cuts the path inside the folder name.
#pragma once

#include <string>

// `path` without the last "." of its file name and what follows, then `ending`.
// "a/scan.ply" + "_error.xls" -> "a/scan_error.xls"; "scan" + ".txt" -> "scan.txt".
std::string replace_ending(const std::string& path, const std::string& ending);

// True when the file name (last component of `path`) contains a ".".
bool has_dot(const std::string& path);

// A mesh's own pose file: the path up to and including the last "." of its
// file name followed by "xf" ("a/scan.ply" -> "a/scan.xf"). A file name
// without "." gives path + ".xf"; callers treat such a mesh as having no pose
// file (see has_dot).
std::string pose_file_name(const std::string& mesh_path);
