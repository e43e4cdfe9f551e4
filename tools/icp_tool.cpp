// icp_tool: the engine's command-line face. Dispatches to one subcommand.
#include <cstdio>
#include <cstring>

#include "project_version.h"
#include "tools/commands.h"

namespace {

const char kUsage[] =
    "usage: icp_tool COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  pose-check FILE        read a pose file (.xf) and print it back in the pose-file format\n"
    "  info FILE              read a mesh file and print its counts, bounding box and sphere\n"
    "  convert IN OUT         read IN and write OUT; OUT's ending and prefixes choose the format\n"
    "  align FIXED MOVING [--color] [--prealign] [--out POSE.xf] [--json]\n"
    "                         align MOVING onto FIXED with the geometric (or colour) ICP,\n"
    "                         after the global prealignment with --prealign\n"
    "  prealign FIXED MOVING [--out POSE.xf]\n"
    "                         place MOVING on FIXED from any start by matching shape features\n"
    "  make-pair --shape sphere|torus|wavy|plane --out DIR [--vertices N] [--noise S] [--seed K]\n"
    "            [--scans N]  generate a coloured scan pair (or a set of N scans) with known poses\n"
    "  align-set SCAN... --out DIR [--ignore-poses] [--merged MODEL.ply] [--voxel FRACTION]\n"
    "                         align a whole set of overlapping scans into one frame\n"
    "  trials FIXED MOVING --out RUN.txt [--count N] [--seed S] [--prealign] [--parallel] [OPTIONS]\n"
    "                         run the randomised trial batch without a window; with\n"
    "                         --prealign each trial prealigns before both ICPs\n"
    "                         (trials --help: the options)\n"
    "  --help                 print this text (COMMAND --help: that command's usage)\n"
    "  --version              print the version\n";

struct Command {
  const char* name;
  int (*run)(int, char**);
};

const Command kCommands[] = {
    {"pose-check", cmd_pose_check}, {"info", cmd_info},           {"convert", cmd_convert},
    {"align", cmd_align},           {"make-pair", cmd_make_pair}, {"trials", cmd_trials},
    {"prealign", cmd_prealign},     {"align-set", cmd_align_set},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("icp_tool %s\n", ICP_PROJECT_VERSION);
    return 0;
  }
  for (const Command& c : kCommands)
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
  std::fprintf(stderr, "icp_tool: unknown command '%s'\n\n%s", argv[1], kUsage);
  return 2;
}
