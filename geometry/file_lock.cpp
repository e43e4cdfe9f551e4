#include "geometry/file_lock.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A releasing holder may remove the file between our open and our lock; a
// few attempts always win against that race.
const int kLockAttempts = 5;

}  // namespace

bool FileLock::acquire(const std::string& path, std::string& why) {
  release();
  const std::string lock_path = path + ".lock";
  for (int attempt = 0; attempt < kLockAttempts; attempt++) {
    int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      why = "cannot create the lock file " + lock_path + ": " + std::strerror(errno);
      return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int error = errno;
      close(fd);
      why = error == EWOULDBLOCK
                ? lock_path + " is held by another process writing the same output"
                : "cannot lock " + lock_path + ": " + std::strerror(error);
      return false;
    }
    // The lock counts only if the file is still the one at the name: a
    // holder that released meanwhile removed it, and a later process locks
    // the new file there.
    struct stat held, named;
    if (fstat(fd, &held) == 0 && stat(lock_path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      fd_ = fd;
      lock_path_ = lock_path;
      return true;
    }
    close(fd);
  }
  why = "cannot lock " + lock_path + ": it keeps changing";
  return false;
}

void FileLock::release() {
  if (fd_ < 0) return;
  unlink(lock_path_.c_str());
  close(fd_);
  fd_ = -1;
  lock_path_.clear();
}
