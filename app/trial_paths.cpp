#include "app/trial_paths.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The folder part of a path as given ("" for a bare file name).
std::string folder_part(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool is_file(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec) && !fs::is_directory(path, ec);
}

}  // namespace

std::string stored_mesh_path(const std::string& mesh_path, const std::string& summary_path) {
  if (mesh_path.empty()) return mesh_path;
  std::error_code ec;
  // The mesh's folder is resolved, its own name kept: a mesh that is a
  // symbolic link stays named by the link.
  fs::path given = fs::absolute(mesh_path, ec);
  if (ec || !given.has_filename()) return mesh_path;
  fs::path mesh = fs::weakly_canonical(given.parent_path(), ec) / given.filename();
  if (ec) return mesh_path;
  std::string folder = folder_part(summary_path);
  fs::path summary_folder = fs::weakly_canonical(fs::absolute(folder.empty() ? "." : folder, ec), ec);
  if (ec) return mesh.string();
  fs::path relative = mesh.lexically_relative(summary_folder);
  // Both sides are real folders, so ".." steps mean what they say; still, a
  // relative text is kept only when it leads back to the same file.
  if (relative.empty()) return mesh.string();
  fs::path back = fs::weakly_canonical((summary_folder / relative).parent_path(), ec);
  if (ec || back / mesh.filename() != mesh) return mesh.string();
  return relative.string();
}

std::string resolve_stored_path(const std::string& stored, const std::string& summary_path) {
  if (stored.empty() || stored.front() == '/') return stored;
  std::string folder = folder_part(summary_path);
  if (folder.empty()) return stored;  // the summary's folder is the working directory
  std::string beside = folder == "/" ? "/" + stored : folder + "/" + stored;
  return is_file(beside) ? beside : stored;
}
