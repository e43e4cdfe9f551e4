#include <cstdio>
#include <string>

#include "registration/Aligner.h"
#include "registration/color_features.h"
#include "registration/load_scan.h"
#include "tools/args.h"
#include "tools/commands.h"

namespace {

const char kAlignUsage[] = "usage: icp_tool align FIXED MOVING [--color] [--out POSE.xf]\n";
// The "Umbral" slider's start value, used for the colour preparation.
const float kDefaultRidgeThreshold = 0.2f;

}  // namespace

// Loads both scans as the program does, aligns MOVING onto FIXED with the
// geometric ICP (or, with --color, the colour ICP after the feature
// preparation), prints the result line the program prints, and writes the
// final pose of MOVING for --out. Exit 0 on success, 1 when the ICP fails or
// the pose cannot be written, 2 on bad arguments or unreadable meshes.
int cmd_align(int argc, char** argv) {
  const CommandSyntax syntax{"align", kAlignUsage, {"--out"}, {"--color"}, 2, 2};
  ParsedArgs args;
  if (!parse_args(argc, argv, syntax, args)) return 2;
  const std::vector<std::string>& paths = args.positional;
  const bool color = args.has("--color");
  const char* out_path = args.value("--out");

  Aligner aligner;
  for (int k = 0; k < 2; k++) {
    if (!load_scan(*aligner.slots[k], k, paths[k])) {
      std::fprintf(stderr, "icp_tool align: cannot read mesh %s\n", paths[k].c_str());
      return 2;
    }
    if (aligner.slots[k]->mesh->vertices.empty()) {
      std::fprintf(stderr, "icp_tool align: mesh %s has no vertices\n", paths[k].c_str());
      return 2;
    }
  }
  if (color) {
    for (int k = 0; k < 2; k++) {
      const TriMesh& mesh = *aligner.slots[k]->mesh;
      if (mesh.colors.size() != mesh.vertices.size()) {
        std::fprintf(stderr, "icp_tool align: mesh %s has no per-vertex colours\n",
                     paths[k].c_str());
        return 2;
      }
    }
    prepare_color_features(aligner, kDefaultRidgeThreshold);
  }

  bool ok = color ? aligner.align_color(1) : aligner.align(1);
  if (!ok) {
    std::fprintf(stderr, "ICP failed\n");
    return 1;
  }
  std::fprintf(stderr, "ICP succeeded - distance = %f\n",
               color ? aligner.color.error : aligner.icp.error);
  if (out_path && !write_pose(aligner.slots[1]->pose, out_path)) {
    std::fprintf(stderr, "icp_tool align: cannot write %s\n", out_path);
    return 1;
  }
  return 0;
}
