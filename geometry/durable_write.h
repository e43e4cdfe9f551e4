// Writing a file so that nothing is lost or left half written: the new bytes
// go to a temporary file in the target's folder, are flushed to the disk
// (fsync), and only then renamed over the target, after which the folder
// itself is synced so the rename survives a power cut. A failure at any point
// leaves the previous file as it was and says why; a crash leaves either the
// old or the new file, plus at most one temporary that the next write of a
// set in that folder removes (geometry/file_set.h).
//
// Every writer of result files (trial log, result sets, basin picture, mesh
// conversion, and any later batch output) goes through this file, so links,
// permissions, full disks and other users' files are handled in one place.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>

// ---- Seams: tests replace them to play faults (nullptr: the default) ------

// Creates a new file in `folder` for writing and names it in `temp_path`;
// null, with errno set, when the folder refuses.
using TempFileOpener = std::FILE* (*)(const std::string& folder, std::string& temp_path);
void set_temp_file_opener(TempFileOpener opener);
// Renames `from` over `to` as rename(2) does: 0, or -1 with errno set.
using FileRenamer = int (*)(const char* from, const char* to);
void set_file_renamer(FileRenamer renamer);
// Room left on the file system holding `folder`; false when it cannot be told.
struct DiskSpace {
  uint64_t free_bytes = 0;  // for an unprivileged user
  uint64_t free_files = 0;  // inodes for an unprivileged user; UINT64_MAX when unlimited
};
using DiskSpaceQuery = bool (*)(const std::string& folder, DiskSpace& space);
void set_disk_space_query(DiskSpaceQuery query);
// The owner of the symbolic link `path` itself (not of what it names).
using LinkOwnerQuery = uid_t (*)(const std::string& path);
void set_link_owner_query(LinkOwnerQuery query);

// ---- Queries ---------------------------------------------------------------

// The folder part of `path` ("." for a bare name, "/" for a file at the root).
std::string folder_of(const std::string& path);
// Room on the file system holding `folder`, through the replaceable query.
bool disk_space(const std::string& folder, DiskSpace& space);
// True for the names this program gives its temporary files (".icp...tmp")
// and journals; `pid` and `host` receive the writer's process and host.
bool is_own_temp_name(const std::string& file_name, long& pid, std::string& host);
// True when process `pid` of this host may still be running.
bool process_alive(long pid);
// This host's name as it appears in temporary names (letters, digits, '-').
const std::string& temp_host_name();

// ---- Replacing one file ----------------------------------------------------

// One file being replaced. begin() decides how:
// - normally a new temporary file beside the target, renamed over it by
//   install(); the target keeps its permissions (and owner, where allowed);
// - in place (in_place() true) when the target cannot be replaced by a
//   rename: a device, a pipe, a dangling link, or an existing file in a
//   folder that refuses new files; nothing is opened until open_in_place().
// A symbolic link at `path` is written through (its target is replaced and
// the link stays), except a link in a folder that others may write to (a
// sticky folder such as /tmp) that belongs neither to this user nor to the
// folder's owner: such a link is refused, as the kernel's protected_symlinks
// rule refuses to follow it. The destructor removes a temporary not installed.
class FileReplacement {
 public:
  FileReplacement() = default;
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;
  FileReplacement(FileReplacement&& other) noexcept;
  ~FileReplacement();

  // Every `why` is a reason without the file's name (the caller names it).
  // False, with the reason in `why` (errno set), when the target is a folder,
  // a refused link, or neither a temporary nor the file itself can be made.
  bool begin(const std::string& path, std::string& why);
  bool in_place() const { return temp_.empty(); }
  // Opens the target itself for writing (emptying it); only when in_place().
  bool open_in_place(std::string& why);
  // The open stream: the temporary, or the target when written in place.
  std::FILE* stream() const { return file_; }
  // Flushes the bytes, syncs a temporary to the disk and closes the stream;
  // false, with the reason, when any write failed (a full disk, a file-size
  // limit). A failed temporary is removed at once.
  bool finish(std::string& why);
  // Renames the finished temporary over the target and syncs the folder;
  // nothing for a file written in place. A temporary that could not be
  // renamed stays until abandon() or release_temp().
  bool install(std::string& why);
  // Removes the temporary (if any) and closes the stream without installing.
  void abandon();

  const std::string& target() const { return target_; }
  const std::string& temp() const { return temp_; }
  // The temporary is left for a journal to install later: it is neither
  // renamed nor removed by this object any more.
  void release_temp() { temp_.clear(); }

 private:
  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
};

// Replaces `path` with `bytes` through a FileReplacement; an existing file
// written in place is first checked for room (disk_space) so a full disk
// refuses the write instead of leaving it half overwritten. False with the
// reason in `why`; the previous file is then as it was.
bool write_file_durably(const std::string& path, const std::string& bytes, std::string& why);

// Appends `bytes` to the existing file `path` in one write and syncs it, for
// a file too long to be rewritten whole each time (a batch's long log): a
// kill leaves the file with or without the new bytes. False with the reason.
bool append_to_file(const std::string& path, const std::string& bytes, std::string& why);

// fsync of a folder, so renames and new names in it reach the disk.
bool sync_folder(const std::string& folder);
