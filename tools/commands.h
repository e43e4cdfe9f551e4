// The subcommands of icp_tool. Each takes the arguments after its own name
// and returns the process exit status.
#pragma once

int cmd_pose_check(int argc, char** argv);
int cmd_info(int argc, char** argv);
int cmd_convert(int argc, char** argv);
int cmd_align(int argc, char** argv);
int cmd_prealign(int argc, char** argv);
int cmd_make_pair(int argc, char** argv);
int cmd_trials(int argc, char** argv);
int cmd_align_set(int argc, char** argv);
