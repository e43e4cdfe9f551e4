#include <cstdio>

#include "geometry/PoseMatrix.h"
#include "geometry/pose_file.h"
#include "tools/args.h"
#include "tools/commands.h"

// Reads a pose file and prints it back in the pose-file format (exit 0,
// with a word on standard error when it is not rigid or is singular), or
// says why it cannot be read (exit 1).
int cmd_pose_check(int argc, char** argv) {
  const CommandSyntax syntax{"pose-check", "usage: icp_tool pose-check FILE\n", {}, {}, 1, 1};
  ParsedArgs args;
  if (!parse_args(argc, argv, syntax, args)) return 2;
  const char* path = args.positional[0].c_str();
  PoseMatrix pose;
  const PoseFileCheck check = read_pose_file(path, pose);
  if (!pose_was_read(check.status)) {
    std::fprintf(stderr,
                 "icp_tool: %s is not a readable pose file (it must hold sixteen numbers, "
                 "followed by a newline or more text): it %s\n",
                 path, pose_problem_text(check).c_str());
    return 1;
  }
  if (pose_needs_warning(check.status))
    std::fprintf(stderr, "icp_tool: %s %s\n", path, pose_problem_text(check).c_str());
  std::fputs(pose_to_string(pose).c_str(), stdout);
  return 0;
}
