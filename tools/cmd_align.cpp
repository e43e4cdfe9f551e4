#include <cstdio>
#include <cstring>
#include <string>

#include "registration/Aligner.h"
#include "registration/color_features.h"
#include "registration/load_scan.h"
#include "registration/prealign.h"
#include "tools/commands.h"

namespace {

const char kAlignUsage[] =
    "usage: icp_tool align FIXED MOVING [--color] [--prealign] [--out POSE.xf]\n";
const char kPrealignUsage[] = "usage: icp_tool prealign FIXED MOVING [--out POSE.xf]\n";
// The "Umbral" slider's start value, used for the colour preparation.
const float kDefaultRidgeThreshold = 0.2f;

struct PairArgs {
  std::string paths[2];
  bool color = false;
  bool prealign = false;
  const char* out_path = nullptr;
};

// FIXED MOVING [--out FILE] and, where `flags` allows, --color and
// --prealign. False after printing why and the usage.
bool parse_pair_args(const char* command, const char* usage, bool flags, int argc, char** argv,
                     PairArgs& args) {
  int path_count = 0;
  for (int i = 0; i < argc; i++) {
    if (flags && std::strcmp(argv[i], "--color") == 0) {
      args.color = true;
    } else if (flags && std::strcmp(argv[i], "--prealign") == 0) {
      args.prealign = true;
    } else if (std::strcmp(argv[i], "--out") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "icp_tool %s: --out needs a file name\n%s", command, usage);
        return false;
      }
      args.out_path = argv[++i];
    } else if (argv[i][0] == '-' && argv[i][1] == '-') {
      std::fprintf(stderr, "icp_tool %s: unknown option '%s'\n%s", command, argv[i], usage);
      return false;
    } else if (path_count < 2) {
      args.paths[path_count++] = argv[i];
    } else {
      std::fprintf(stderr, "icp_tool %s: too many files\n%s", command, usage);
      return false;
    }
  }
  if (path_count != 2) {
    std::fprintf(stderr, "%s", usage);
    return false;
  }
  return true;
}

// Loads both scans as the program does; false after saying which failed.
bool load_pair(const char* command, const PairArgs& args, Aligner& aligner) {
  for (int k = 0; k < 2; k++) {
    if (!load_scan(*aligner.slots[k], k, args.paths[k])) {
      std::fprintf(stderr, "icp_tool %s: cannot read mesh %s\n", command, args.paths[k].c_str());
      return false;
    }
    if (aligner.slots[k]->mesh->vertices.empty()) {
      std::fprintf(stderr, "icp_tool %s: mesh %s has no vertices\n", command,
                   args.paths[k].c_str());
      return false;
    }
  }
  return true;
}

// Prealigns mesh 2 in place and prints the program's report line.
bool prealign_moving(Aligner& aligner) {
  MeshSlot& fixed = *aligner.slots[0];
  MeshSlot& moving = *aligner.slots[1];
  PrealignResult result = prealign(*fixed.mesh, fixed.pose, *moving.mesh, moving.pose);
  std::fputs(prealign_report_line(result).c_str(), stderr);
  moving.pose = result.pose;
  return result.ok;
}

}  // namespace

// Loads both scans as the program does, aligns MOVING onto FIXED with the
// geometric ICP (or, with --color, the colour ICP after the feature
// preparation), prints the result line the program prints, and writes the
// final pose of MOVING for --out. With --prealign the ICP starts from the
// prealigned pose (from the file pose when the prealignment refuses).
// Exit 0 on success, 1 when the ICP fails or the pose cannot be written,
// 2 on bad arguments or unreadable meshes.
int cmd_align(int argc, char** argv) {
  PairArgs args;
  if (!parse_pair_args("align", kAlignUsage, true, argc, argv, args)) return 2;
  Aligner aligner;
  if (!load_pair("align", args, aligner)) return 2;
  if (args.color) {
    for (int k = 0; k < 2; k++) {
      const TriMesh& mesh = *aligner.slots[k]->mesh;
      if (mesh.colors.size() != mesh.vertices.size()) {
        std::fprintf(stderr, "icp_tool align: mesh %s has no per-vertex colours\n",
                     args.paths[k].c_str());
        return 2;
      }
    }
    prepare_color_features(aligner, kDefaultRidgeThreshold);
  }
  if (args.prealign) prealign_moving(aligner);

  bool ok = args.color ? aligner.align_color(1, false, false) : aligner.align(1, false, false);
  if (!ok) {
    std::fprintf(stderr, "ICP failed\n");
    return 1;
  }
  std::fprintf(stderr, "ICP succeeded - distance = %f\n",
               args.color ? aligner.error_color : aligner.error_icp);
  if (args.out_path && !write_pose(aligner.slots[1]->pose, args.out_path)) {
    std::fprintf(stderr, "icp_tool align: cannot write %s\n", args.out_path);
    return 1;
  }
  return 0;
}

// Loads both scans, prealigns MOVING onto FIXED, prints the report line and
// writes MOVING's found pose for --out. Exit 0 when a pose was found, 1 when
// the prealignment refuses (nothing written) or the pose cannot be written,
// 2 on bad arguments or unreadable meshes.
int cmd_prealign(int argc, char** argv) {
  PairArgs args;
  if (!parse_pair_args("prealign", kPrealignUsage, false, argc, argv, args)) return 2;
  Aligner aligner;
  if (!load_pair("prealign", args, aligner)) return 2;
  if (!prealign_moving(aligner)) return 1;
  if (args.out_path && !write_pose(aligner.slots[1]->pose, args.out_path)) {
    std::fprintf(stderr, "icp_tool prealign: cannot write %s\n", args.out_path);
    return 1;
  }
  return 0;
}
