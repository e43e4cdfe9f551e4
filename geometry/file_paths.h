// File names derived from other file names: extensions, the pose file beside
// a mesh, and the base names the result files are built on.
//
// A path's file name is what follows its last folder separator. Both "/" and
// "\" separate folders: stored trial summaries hold mesh paths written on
// either kind of system, and a pose file must be found beside its mesh in
// both cases. A file name's extension is what follows its last "."; a dot in
// a folder name is never an extension, so a derived file always stays in the
// folder of the file it is derived from.
#pragma once

#include <string>

// The file name of `path`: everything after its last "/" or "\" (the whole
// path when it has neither).
std::string file_name_of(const std::string& path);

// The extension of `path` without its dot; "" when the file name has no ".".
// "scan.tar.ply" gives "ply"; "v1.2/scan" gives "".
std::string extension_of(const std::string& path);

// True when the extension of `path` is `ext` (given without the dot),
// letters compared without regard to case: "scan.PLY" has the extension "ply".
bool has_extension(const std::string& path, const char* ext);

// `path` cut at the last "." of its file name (the dot and what follows go);
// the whole path when the file name has no ".".
std::string strip_extension(const std::string& path);

// The pose file of a mesh: the mesh path up to and including the last "." of
// its file name, followed by "xf"; "" when the file name has no "." (such a
// mesh has no pose file and keeps the identity pose).
std::string pose_path_for(const std::string& mesh_path);
