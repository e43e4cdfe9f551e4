// read_pose on arbitrary bytes (through a memory-backed file named by its
// descriptor, since the reader takes a file name).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "geometry/PoseMatrix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fd = memfd_create("pose", 0);
  if (fd < 0) return 0;
  if (size == 0 || write(fd, data, size) == static_cast<ssize_t>(size)) {
    PoseMatrix m;
    read_pose("/proc/self/fd/" + std::to_string(fd), m);
  }
  close(fd);
  return 0;
}
