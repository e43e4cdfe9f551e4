#include "geometry/file_paths.h"

#include <cctype>
#include <cstring>

namespace {

// Position of the last "." of the file name, or npos.
size_t extension_dot(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return dot;
  const size_t slash = path.find_last_of("/\\");
  return (slash != std::string::npos && slash > dot) ? std::string::npos : dot;
}

}  // namespace

std::string file_name_of(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extension_of(const std::string& path) {
  const size_t dot = extension_dot(path);
  return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

bool has_extension(const std::string& path, const char* ext) {
  const std::string actual = extension_of(path);
  if (actual.size() != std::strlen(ext) || extension_dot(path) == std::string::npos) return false;
  for (size_t i = 0; i < actual.size(); i++)
    if (std::tolower(static_cast<unsigned char>(actual[i])) !=
        std::tolower(static_cast<unsigned char>(ext[i])))
      return false;
  return true;
}

std::string strip_extension(const std::string& path) {
  const size_t dot = extension_dot(path);
  return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string pose_path_for(const std::string& mesh_path) {
  const size_t dot = extension_dot(mesh_path);
  return dot == std::string::npos ? std::string() : mesh_path.substr(0, dot + 1) + "xf";
}
