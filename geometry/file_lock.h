// An exclusive lock that keeps two processes from writing one output (a trial
// batch's log and the files beside it): flock on a small lock file next to
// the output, taken without waiting. The lock file is removed on release.
#pragma once

#include <string>

class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { release(); }

  // Locks `path` + ".lock". False, with the reason in `why`, when another
  // process holds it ("held by another process") or the lock file cannot be
  // made; never waits. A link at the lock file's name is refused.
  bool acquire(const std::string& path, std::string& why);
  // Removes the lock file and unlocks; nothing when not held.
  void release();
  bool held() const { return fd_ >= 0; }
  const std::string& lock_path() const { return lock_path_; }

 private:
  int fd_ = -1;
  std::string lock_path_;
};
