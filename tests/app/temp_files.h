// Temporary files of the application tests: folders under the test run's
// temporary folder (ICP_TEST_TMP, else /tmp) and whole-file reads.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <cerrno>
#include <sys/stat.h>

// The folder `name` under the temporary folder, created when missing.
inline std::string tmp_dir(const std::string& name) {
  const char* root = std::getenv("ICP_TEST_TMP");
  std::string path = std::string(root ? root : "/tmp") + "/" + name;
  if (mkdir(path.c_str(), 0755) != 0) {
    EXPECT_EQ(errno, EEXIST) << path;
  }
  return path;
}

// The whole file as bytes; empty when it cannot be read.
inline std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
