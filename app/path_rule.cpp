#include "app/path_rule.h"

namespace {

// Position of the last "." of the file name, or npos.
std::string::size_type name_dot(const std::string& path) {
  std::string::size_type slash = path.find_last_of("/\\");
  std::string::size_type dot = path.rfind('.');
  if (dot == std::string::npos) return dot;
  if (slash != std::string::npos && dot < slash) return std::string::npos;
  return dot;
}

}  // namespace

std::string replace_ending(const std::string& path, const std::string& ending) {
  std::string::size_type dot = name_dot(path);
  if (dot == std::string::npos) return path + ending;
  return path.substr(0, dot) + ending;
}

bool has_dot(const std::string& path) { return name_dot(path) != std::string::npos; }

std::string pose_file_name(const std::string& mesh_path) { return replace_ending(mesh_path, ".xf"); }
