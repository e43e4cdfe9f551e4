#include <cstdio>

#include "geometry/PoseMatrix.h"
#include "tools/commands.h"

// Reads a pose file and prints it back in the pose-file format (exit 0), or
// says why it cannot be read (exit 1).
int cmd_pose_check(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: icp_tool pose-check FILE\n");
    return 2;
  }
  PoseMatrix pose;
  if (!read_pose(argv[0], pose)) {
    std::fprintf(stderr,
                 "icp_tool: %s is not a readable pose file (it must hold sixteen numbers, "
                 "followed by a newline or more text)\n",
                 argv[0]);
    return 1;
  }
  std::fputs(pose_to_string(pose).c_str(), stdout);
  return 0;
}
