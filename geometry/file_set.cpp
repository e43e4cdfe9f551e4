#include "geometry/file_set.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "geometry/durable_write.h"

namespace {

// A journal lists a handful of names; anything larger is not ours.
const size_t kMaxJournalBytes = 64 * 1024;

void fail(SetFailure& failure, const std::string& path, bool opening, const std::string& why) {
  failure.error = errno;
  failure.path = path;
  failure.opening = opening;
  failure.why = why;
}

std::string file_name(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A regular file of this user, not a link.
bool own_regular_file(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid();
}

// A temporary or journal of this program, of this user, whose writer on this
// host is no longer running.
bool stale_own_file(const std::string& path) {
  long pid = 0;
  std::string host;
  if (!is_own_temp_name(file_name(path), pid, host)) return false;
  return host == temp_host_name() && !process_alive(pid) && own_regular_file(path);
}

// The journal's bytes: temporary NUL target NUL, per pending rename.
std::string journal_text(const std::vector<FileReplacement>& files) {
  std::string text;
  for (const FileReplacement& file : files) {
    if (file.in_place()) continue;
    text += file.temp();
    text += '\0';
    text += file.target();
    text += '\0';
  }
  return text;
}

std::string journal_path(const std::string& folder) {
  static unsigned serial = 0;
  return folder + "/.icp" + temp_host_name() + "_" + std::to_string(long(getpid())) + "_" +
         std::to_string(serial++) + ".journal";
}

// Reads a journal and performs each rename whose temporary is still there;
// a temporary must be a stale file of ours, so a planted journal cannot move
// anyone's files.
void replay_journal(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return;
  std::string text(kMaxJournalBytes + 1, '\0');
  text.resize(std::fread(&text[0], 1, text.size(), f));
  std::fclose(f);
  if (text.size() > kMaxJournalBytes) return;
  std::vector<std::string> names;
  for (size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1)
    names.push_back(text.substr(at, end - at));
  for (size_t i = 0; i + 1 < names.size(); i += 2) {
    if (!stale_own_file(names[i])) continue;
    if (std::rename(names[i].c_str(), names[i + 1].c_str()) == 0)
      sync_folder(folder_of(names[i + 1]));
  }
}

std::vector<std::string> own_stale_files(const std::string& folder, const char* ending) {
  std::vector<std::string> found;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return found;
  const size_t ending_size = std::strlen(ending);
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() < ending_size || name.compare(name.size() - ending_size, ending_size, ending))
      continue;
    if (stale_own_file(folder + "/" + name)) found.push_back(folder + "/" + name);
  }
  closedir(dir);
  return found;
}

// Opens each in-place file without emptying it and checks that their bytes
// fit on the disk, so that none is touched unless all can be written.
bool check_in_place(const std::vector<FileContent>& contents, std::vector<FileReplacement>& files,
                    SetFailure& failure) {
  uint64_t needed = 0;
  std::string folder;
  for (size_t i = 0; i < files.size(); i++) {
    if (!files[i].in_place()) continue;
    std::FILE* f = std::fopen(files[i].target().c_str(), "ab");
    if (!f) {
      fail(failure, files[i].target(), true, std::strerror(errno));
      return false;
    }
    std::fclose(f);
    needed += contents[i].bytes.size();
    folder = folder_of(files[i].target());
  }
  DiskSpace space;
  if (needed > 0 && disk_space(folder, space) && space.free_bytes < needed) {
    errno = ENOSPC;
    fail(failure, folder, false,
         "no room on the disk for the files written in place (" + std::to_string(needed) +
             " bytes needed, " + std::to_string(space.free_bytes) + " free)");
    return false;
  }
  return true;
}

bool write_bytes(FileReplacement& file, const std::string& bytes, SetFailure& failure) {
  std::string why;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) == bytes.size();
  if (file.finish(why) && written) return true;
  if (why.empty()) why = std::strerror(errno);
  fail(failure, file.target(), false, why);
  return false;
}

}  // namespace

bool replace_file_set(const std::vector<FileContent>& contents, SetFailure& failure) {
  // 1. Every file staged: a temporary holding its bytes, or checked for an
  //    in-place write. Any failure here leaves every file as it was.
  std::vector<FileReplacement> files(contents.size());
  std::string why;
  for (size_t i = 0; i < contents.size(); i++) {
    if (!files[i].begin(contents[i].path, why)) {
      fail(failure, contents[i].path, true, why);
      return false;
    }
  }
  if (!check_in_place(contents, files, failure)) return false;
  for (size_t i = 0; i < contents.size(); i++)
    if (!files[i].in_place() && !write_bytes(files[i], contents[i].bytes, failure)) return false;

  // 2. The journal of the pending renames, synced before the first of them.
  const std::string folder = folder_of(contents.empty() ? "." : contents[0].path);
  std::string journal;
  size_t renames = 0;
  for (const FileReplacement& file : files) renames += file.in_place() ? 0 : 1;
  if (renames > 1) {
    journal = journal_path(folder);
    if (!write_file_durably(journal, journal_text(files), why)) {
      fail(failure, journal, true, why);
      return false;
    }
  }

  // 3. Files written in place, then the renames in order.
  for (size_t i = 0; i < contents.size(); i++) {
    if (!files[i].in_place()) continue;
    if (!files[i].open_in_place(why)) {
      fail(failure, files[i].target(), true, why);
    } else if (write_bytes(files[i], contents[i].bytes, failure)) {
      continue;
    }
    if (!journal.empty()) unlink(journal.c_str());
    return false;
  }
  bool changed_any = renames < files.size();  // files written in place
  for (size_t i = 0; i < files.size(); i++) {
    if (files[i].install(why)) {
      changed_any = true;
      continue;
    }
    fail(failure, files[i].target(), false, why);
    if (changed_any && !journal.empty()) {
      // Part of the set is new: the rest stays pending for the journal.
      for (FileReplacement& rest : files) rest.release_temp();
      failure.why += "; the set stays incomplete until the next batch, save or load in " + folder;
      return false;
    }
    if (!journal.empty()) unlink(journal.c_str());
    return false;
  }
  if (!journal.empty()) {
    unlink(journal.c_str());
    sync_folder(folder);
  }
  return true;
}

void complete_interrupted_sets(const std::string& folder) {
  for (const std::string& journal : own_stale_files(folder, ".journal")) {
    replay_journal(journal);
    unlink(journal.c_str());
  }
  for (const std::string& temp : own_stale_files(folder, ".tmp")) unlink(temp.c_str());
  sync_folder(folder);
}
