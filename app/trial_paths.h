// Mesh paths inside a stored trial summary (".vkl"). A summary names its two
// meshes relative to its own folder, so a set of results moved or opened from
// another working directory together with its meshes still finds them.
#pragma once

#include <string>

// The text a summary at `summary_path` stores for the mesh at `mesh_path`
// (both as the program was given them, relative to the working directory or
// absolute): the mesh's path relative to the summary's folder, through the
// real folders (symbolic links resolved), so that opening the stored text
// from that folder reaches the same file. The absolute path when no such
// relative path exists or the folders cannot be resolved; an empty
// `mesh_path` stays empty. A summary written in the mesh's own folder stores
// the bare file name.
std::string stored_mesh_path(const std::string& mesh_path, const std::string& summary_path);

// The path to open for `stored`, a mesh path read from the summary at
// `summary_path`: an absolute path as it is; a relative one against the
// summary's folder when a file exists there, otherwise as it is (relative to
// the working directory, where summaries of older versions point).
std::string resolve_stored_path(const std::string& stored, const std::string& summary_path);
