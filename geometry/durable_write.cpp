#include "geometry/durable_write.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Attempts at a free temporary name before the folder counts as refusing.
const int kTempNameAttempts = 100;
// Longest host name kept in a temporary name; the name stays short whatever
// the final name's length, so it fits wherever that fits.
const size_t kMaxHostChars = 32;

std::string errno_text() { return std::strerror(errno); }

std::FILE* open_new_temp(const std::string& folder, std::string& temp_path) {
  static unsigned serial = 0;
  for (int attempt = 0; attempt < kTempNameAttempts; attempt++) {
    std::string name = folder + "/.icp" + temp_host_name() + "_" +
                       std::to_string(static_cast<long>(getpid())) + "_" +
                       std::to_string(serial++) + ".tmp";
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
      close(fd);
      unlink(name.c_str());
      return nullptr;
    }
    temp_path = name;
    return f;
  }
  errno = EEXIST;
  return nullptr;
}

bool statvfs_space(const std::string& folder, DiskSpace& space) {
  struct statvfs st;
  if (statvfs(folder.c_str(), &st) != 0) return false;
  space.free_bytes = uint64_t(st.f_bavail) * uint64_t(st.f_frsize);
  // A file system that keeps no count of files (f_files 0) sets no limit.
  space.free_files = st.f_files == 0 ? UINT64_MAX : uint64_t(st.f_favail);
  return true;
}

uid_t lstat_owner(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_uid : uid_t(-1);
}

TempFileOpener temp_opener = open_new_temp;
FileRenamer file_renamer = std::rename;
DiskSpaceQuery space_query = statvfs_space;
LinkOwnerQuery link_owner = lstat_owner;

// The kernel's protected_symlinks rule: a link in a sticky folder that others
// may write to is followed only when it belongs to the follower or to the
// folder's owner, so no other user can point a victim's write elsewhere.
bool may_follow_link(const std::string& link) {
  struct stat dir;
  if (stat(folder_of(link).c_str(), &dir) != 0) return false;
  bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
  if (!shared) return true;
  uid_t owner = link_owner(link);
  return owner == geteuid() || owner == dir.st_uid;
}

// Where a write to `path` lands: a link is followed to its final target (a
// dangling one stays as it is, to be written through in place). False when
// the link may not be followed.
bool resolve_target(const std::string& path, std::string& target) {
  target = path;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
  if (!may_follow_link(path)) return false;
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return true;
  target = resolved;
  std::free(resolved);
  return true;
}

}  // namespace

void set_temp_file_opener(TempFileOpener opener) { temp_opener = opener ? opener : open_new_temp; }
void set_file_renamer(FileRenamer renamer) { file_renamer = renamer ? renamer : std::rename; }
void set_disk_space_query(DiskSpaceQuery query) { space_query = query ? query : statvfs_space; }
void set_link_owner_query(LinkOwnerQuery query) { link_owner = query ? query : lstat_owner; }

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool disk_space(const std::string& folder, DiskSpace& space) { return space_query(folder, space); }

const std::string& temp_host_name() {
  static const std::string host = [] {
    char name[256] = {0};
    std::string kept;
    if (gethostname(name, sizeof name - 1) == 0)
      for (const char* c = name; *c && kept.size() < kMaxHostChars; c++)
        if ((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
            *c == '-')
          kept += *c;
    return kept;
  }();
  return host;
}

bool is_own_temp_name(const std::string& file_name, long& pid, std::string& host) {
  // .icp<host>_<pid>_<serial>.tmp or .icp<host>_<pid>_<serial>.journal
  const std::string prefix = ".icp";
  if (file_name.compare(0, prefix.size(), prefix) != 0) return false;
  size_t dot = file_name.rfind('.');
  std::string ending = file_name.substr(dot);
  if (dot == 0 || (ending != ".tmp" && ending != ".journal")) return false;
  std::string middle = file_name.substr(prefix.size(), dot - prefix.size());
  size_t second = middle.rfind('_');
  if (second == std::string::npos || second == 0) return false;
  size_t first = middle.rfind('_', second - 1);
  if (first == std::string::npos) return false;
  std::string pid_text = middle.substr(first + 1, second - first - 1);
  std::string serial = middle.substr(second + 1);
  if (pid_text.empty() || serial.empty() || pid_text.size() > 12) return false;
  if (pid_text.find_first_not_of("0123456789") != std::string::npos ||
      serial.find_first_not_of("0123456789") != std::string::npos)
    return false;
  host = middle.substr(0, first);
  pid = std::atol(pid_text.c_str());
  return true;
}

bool process_alive(long pid) {
  if (pid <= 0) return false;
  return kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : target_(std::move(other.target_)), temp_(std::move(other.temp_)), file_(other.file_) {
  other.temp_.clear();
  other.file_ = nullptr;
}

FileReplacement::~FileReplacement() { abandon(); }

bool FileReplacement::begin(const std::string& path, std::string& why) {
  abandon();
  if (!resolve_target(path, target_)) {
    errno = EPERM;
    why = "refusing to follow a link of another user in a shared folder";
    return false;
  }
  struct stat st;
  bool exists = stat(target_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    why = errno_text();
    return false;
  }
  struct stat link_st;
  bool dangling = lstat(target_.c_str(), &link_st) == 0 && S_ISLNK(link_st.st_mode);
  // A device or pipe cannot be replaced by a rename; it is written itself.
  if ((exists && !S_ISREG(st.st_mode)) || dangling) return true;

  file_ = temp_opener(folder_of(target_), temp_);
  if (!file_) {
    temp_.clear();
    if (exists) return true;  // a folder that refuses new files: in place
    why = errno_text();
    return false;
  }
  if (exists) {
    fchmod(fileno(file_), st.st_mode & 07777);
    // The owner is kept where the process may give it; otherwise the file
    // becomes the writer's, which is no failure.
    if (fchown(fileno(file_), st.st_uid, st.st_gid) != 0) errno = 0;
  }
  return true;
}

bool FileReplacement::open_in_place(std::string& why) {
  file_ = std::fopen(target_.c_str(), "wb");
  if (file_) return true;
  why = errno_text();
  return false;
}

bool FileReplacement::finish(std::string& why) {
  if (!file_) {
    why = "nothing was opened";
    return false;
  }
  bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  int saved = errno;
  // Syncing a device or pipe written in place means nothing (and may fail).
  if (ok && !temp_.empty() && fsync(fileno(file_)) != 0) {
    ok = false;
    saved = errno;
  }
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  file_ = nullptr;
  if (ok) return true;
  errno = saved;
  why = errno_text();
  abandon();
  return false;
}

bool FileReplacement::install(std::string& why) {
  if (temp_.empty()) return true;
  if (file_renamer(temp_.c_str(), target_.c_str()) != 0) {
    why = "cannot rename " + temp_ + " over it: " + errno_text();
    return false;
  }
  temp_.clear();
  sync_folder(folder_of(target_));
  return true;
}

void FileReplacement::abandon() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

bool write_file_durably(const std::string& path, const std::string& bytes, std::string& why) {
  FileReplacement file;
  if (!file.begin(path, why)) return false;
  if (file.in_place()) {
    DiskSpace space;
    if (disk_space(folder_of(file.target()), space) && space.free_bytes < bytes.size()) {
      errno = ENOSPC;
      why = "no room on the disk (" + std::to_string(bytes.size()) + " bytes needed, " +
            std::to_string(space.free_bytes) + " free)";
      return false;
    }
    if (!file.open_in_place(why)) return false;
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) == bytes.size();
  if (!file.finish(why)) return false;
  if (!written) {
    why = errno_text();
    return false;
  }
  return file.install(why);
}

bool append_to_file(const std::string& path, const std::string& bytes, std::string& why) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) {
    why = errno_text();
    return false;
  }
  ssize_t written = write(fd, bytes.data(), bytes.size());
  bool ok = written == ssize_t(bytes.size()) && fsync(fd) == 0;
  if (!ok) why = written >= 0 && size_t(written) < bytes.size() ? "short write" : errno_text();
  close(fd);
  return ok;
}

bool sync_folder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}
