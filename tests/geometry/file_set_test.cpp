// Replacing files and sets of files under faults played through the seams: a
// kill between two renames, a failed rename, a full disk for a file written
// in place, and a link planted by another user in a shared folder.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "geometry/durable_write.h"
#include "geometry/file_set.h"

namespace {

std::string fresh_dir(const std::string& name) {
  const char* root = std::getenv("ICP_TEST_TMP");
  std::string dir = std::string(root ? root : "/tmp") + "/file_set_" + name + "_" +
                    std::to_string(getpid());
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
  return dir;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every entry of `dir` with its bytes.
std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> entries;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = d ? readdir(d) : nullptr) {
    std::string name = e->d_name;
    if (name != "." && name != "..") entries[name] = read_file(dir + "/" + name);
  }
  if (d) closedir(d);
  return entries;
}

std::vector<FileContent> set_of(const std::string& dir, const std::string& tag) {
  std::vector<FileContent> files;
  for (const char* name : {"a.xf", "b.xf", "c.vkl"}) files.push_back({dir + "/" + name, tag + name});
  return files;
}

// Renamers: the n-th call (from 1) kills the process or fails.
int calls = 0, fatal_call = 0;
int dying_renamer(const char* from, const char* to) {
  if (++calls == fatal_call) _exit(0);
  return std::rename(from, to);
}
int failing_renamer(const char* from, const char* to) {
  if (++calls == fatal_call) {
    errno = EIO;
    return -1;
  }
  return std::rename(from, to);
}
bool no_room(const std::string&, DiskSpace& space) {
  space.free_bytes = 3;
  return true;
}
uid_t stranger(const std::string&) { return geteuid() + 1; }

std::FILE* refusing_folder(const std::string&, std::string&) {
  errno = EACCES;
  return nullptr;
}

struct Seams {
  ~Seams() {
    set_file_renamer(nullptr);
    set_disk_space_query(nullptr);
    set_link_owner_query(nullptr);
    set_temp_file_opener(nullptr);
  }
};

}  // namespace

// Killed between the renames of a set, the writer leaves a mixed set and its
// journal; the next complete_interrupted_sets there makes the set whole and
// removes every temporary of a dead writer, but not those of a live one.
// (The first rename installs the journal itself: killed there, the set stays
// old.)
TEST(FileSet, KilledBetweenRenamesIsCompletedByTheNextWriter) {
  for (int killed_at : {1, 2, 3, 4}) {
    SCOPED_TRACE(killed_at);
    std::string dir = fresh_dir("killed");
    SetFailure failure;
    ASSERT_TRUE(replace_file_set(set_of(dir, "old "), failure)) << failure.why;
    pid_t child = fork();
    if (child == 0) {
      calls = 0;
      fatal_call = killed_at;
      set_file_renamer(dying_renamer);
      SetFailure ignored;
      replace_file_set(set_of(dir, "new "), ignored);
      _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(read_file(dir + "/c.vkl"), "old c.vkl");  // the summary is renamed last
    std::ofstream(dir + "/.icp" + temp_host_name() + "_" + std::to_string(getpid()) + "_9.tmp")
        << "a live writer's";
    complete_interrupted_sets(dir);
    const std::string tag = killed_at == 1 ? "old " : "new ";
    std::map<std::string, std::string> expected = {
        {"a.xf", tag + "a.xf"}, {"b.xf", tag + "b.xf"}, {"c.vkl", tag + "c.vkl"},
        {".icp" + temp_host_name() + "_" + std::to_string(getpid()) + "_9.tmp", "a live writer's"}};
    EXPECT_EQ(snapshot(dir), expected);
  }
}

// A rename that fails changes nothing up to the set's first (the journal's
// own is call 1); after that the journal stays and the failure says the set
// is incomplete. A file that
// must be written in place is refused when the disk has no room for it.
TEST(FileSet, FailedRenamesAndAFullDiskAreReported) {
  Seams seams;
  for (int failed_at : {1, 2, 3}) {
    SCOPED_TRACE(failed_at);
    std::string dir = fresh_dir("failed");
    SetFailure failure;
    ASSERT_TRUE(replace_file_set(set_of(dir, "old "), failure));
    auto before = snapshot(dir);
    calls = 0;
    fatal_call = failed_at;
    set_file_renamer(failing_renamer);
    EXPECT_FALSE(replace_file_set(set_of(dir, "new "), failure));
    EXPECT_EQ(failure.error, EIO);
    if (failed_at < 3) EXPECT_EQ(snapshot(dir), before);
    else EXPECT_NE(failure.why.find("incomplete"), std::string::npos) << failure.why;
    set_file_renamer(nullptr);
  }
  std::string dir = fresh_dir("full");
  SetFailure failure;
  ASSERT_TRUE(replace_file_set(set_of(dir, "old "), failure));
  auto before = snapshot(dir);
  set_temp_file_opener(refusing_folder);
  set_disk_space_query(no_room);
  EXPECT_FALSE(replace_file_set(set_of(dir, "new "), failure));
  EXPECT_EQ(failure.error, ENOSPC);
  std::string why;
  EXPECT_FALSE(write_file_durably(dir + "/a.xf", "new a.xf", why));
  EXPECT_NE(why.find("no room"), std::string::npos) << why;
  EXPECT_EQ(snapshot(dir), before);
}

// In a folder others may write to (sticky, like /tmp) a link is followed only
// when it belongs to this user or the folder's owner; elsewhere always.
TEST(DurableWrite, LinksInSharedFoldersAreFollowedOnlyWhenOurs) {
  Seams seams;
  std::string dir = fresh_dir("links");
  std::string shared = dir + "/shared";
  mkdir(shared.c_str(), 0777);
  chmod(shared.c_str(), 01777);
  std::ofstream(dir + "/victim") << "private";
  symlink((dir + "/victim").c_str(), (shared + "/out.svg").c_str());
  std::string why;
  set_link_owner_query(stranger);
  EXPECT_FALSE(write_file_durably(shared + "/out.svg", "planted", why));
  EXPECT_EQ(read_file(dir + "/victim"), "private");
  EXPECT_NE(why.find("link"), std::string::npos) << why;
  set_link_owner_query(nullptr);
  EXPECT_TRUE(write_file_durably(shared + "/out.svg", "mine", why)) << why;
  EXPECT_EQ(read_file(dir + "/victim"), "mine");
  struct stat st;
  ASSERT_EQ(lstat((shared + "/out.svg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}
