#include <cstdio>

#include "tools/commands.h"

// Placeholder until this subcommand is built.
int cmd_convert(int, char**) {
  std::fprintf(stderr, "icp_tool: this command is not available yet\n");
  return 2;
}
