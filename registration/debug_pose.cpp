#include "registration/debug_pose.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kFileName[] = "prueba.xf";

// A folder that only this user can change: a real folder (not a link), ours,
// with no write permission for the group or others.
bool private_folder(const std::string& dir) {
  struct stat st;
  if (dir.empty() || dir[0] != '/' || lstat(dir.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// `dir`, made private when missing (its parent must exist and be ours).
bool ensure_private_folder(const std::string& dir) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return private_folder(dir);
}

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::string debug_pose_path() {
  if (env("ICP_DEBUG_POSE") == "0") return "";
  std::string runtime = env("XDG_RUNTIME_DIR");
  if (private_folder(runtime)) return runtime + "/" + kFileName;
  std::string cache = env("XDG_CACHE_HOME");
  if (cache.empty() || cache[0] != '/') {
    std::string home = env("HOME");
    if (home.empty() || home[0] != '/') return "";
    cache = home + "/.cache";
  }
  if (mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST) return "";
  std::string dir = cache + "/icp_tool";
  return ensure_private_folder(dir) ? dir + "/" + kFileName : "";
}

void write_debug_pose(const PoseMatrix& pose) {
  std::string path = debug_pose_path();
  if (path.empty()) return;
  // O_NOFOLLOW: a link at the name is refused; O_NONBLOCK: a pipe without a
  // reader is refused at once instead of waiting for one. The file is
  // emptied only once it is known to be a regular file.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd, 0) == 0) {
    std::string text = pose_to_string(pose);
    if (write(fd, text.data(), text.size()) < 0) errno = 0;
  }
  close(fd);
}
