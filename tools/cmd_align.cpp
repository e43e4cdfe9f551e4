#include <chrono>
#include <cstdio>
#include <string>

#include "registration/Aligner.h"
#include "registration/color_features.h"
#include "registration/load_scan.h"
#include "registration/prealign.h"
#include "tools/align_report.h"
#include "tools/args.h"
#include "tools/commands.h"

namespace {

const char kAlignUsage[] =
    "usage: icp_tool align FIXED MOVING [--color] [--prealign] [--out POSE.xf] [--json]\n"
    "  --json  print one JSON object on standard output: pose, final error, steps,\n"
    "          milliseconds, final pairs and their RMS distance, overlap share,\n"
    "          the prealignment's outcome\n";
const char kPrealignUsage[] = "usage: icp_tool prealign FIXED MOVING [--out POSE.xf]\n";
// The "Umbral" slider's start value, used for the colour preparation.
const float kDefaultRidgeThreshold = 0.2f;

// Loads both scans as the program does; false after saying which failed.
bool load_pair(const char* command, const std::vector<std::string>& paths, Aligner& aligner) {
  for (int k = 0; k < 2; k++) {
    if (!load_scan(*aligner.slots[k], k, paths[k])) {
      std::fprintf(stderr, "icp_tool %s: cannot read mesh %s\n", command, paths[k].c_str());
      return false;
    }
    if (aligner.slots[k]->mesh->vertices.empty()) {
      std::fprintf(stderr, "icp_tool %s: mesh %s has no vertices\n", command, paths[k].c_str());
      return false;
    }
  }
  return true;
}

// Writes mesh 2's pose for --out; false after saying why it could not.
bool write_result(const char* command, const Aligner& aligner, const char* out_path) {
  if (!out_path || write_pose(aligner.slots[1]->pose, out_path)) return true;
  std::fprintf(stderr, "icp_tool %s: cannot write %s\n", command, out_path);
  return false;
}

}  // namespace

// Loads both scans as the program does, aligns MOVING onto FIXED with the
// geometric ICP (or, with --color, the colour ICP after the feature
// preparation), prints the result line the program prints, and writes the
// final pose of MOVING for --out. With --prealign the ICP starts from the
// prealigned pose; when the prealignment refuses (its report line says why)
// nothing is aligned or written: an ICP from an unplaced start would look
// like a success however wrong it ends. Exit 0 on success, 1 when the
// prealignment refuses, the ICP fails or the pose cannot be written, 2 on
// bad arguments or unreadable meshes.
int cmd_align(int argc, char** argv) {
  const CommandSyntax syntax{"align", kAlignUsage, {"--out"}, {"--color", "--prealign", "--json"}, 2, 2};
  ParsedArgs args;
  if (!parse_args(argc, argv, syntax, args)) return 2;
  const std::vector<std::string>& paths = args.positional;
  const bool color = args.has("--color");

  Aligner aligner;
  if (!load_pair("align", paths, aligner)) return 2;
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
  AlignReport report;
  report.method = color ? "icp_color" : "icp";
  report.prealign_asked = args.has("--prealign");
  const bool json = args.has("--json");
  auto finish = [&](int status) {
    if (json) std::fputs(align_report_json(report).c_str(), stdout);
    return status;
  };
  if (report.prealign_asked && !prealign_mesh2(aligner, &report.prealign)) {
    report.pose = aligner.slots[1]->pose;
    return finish(1);
  }

  const auto start = std::chrono::steady_clock::now();
  bool ok = color ? aligner.align_color(1) : aligner.align(1);
  report.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  report.pose = aligner.slots[1]->pose;
  fill_run_figures(aligner, color ? aligner.color : aligner.icp, report);
  if (!ok) {
    std::fprintf(stderr, "ICP failed\n");
    return finish(1);
  }
  std::fprintf(stderr, "ICP succeeded - distance = %f\n",
               color ? aligner.color.error : aligner.icp.error);
  report.ok = write_result("align", aligner, args.value("--out"));
  return finish(report.ok ? 0 : 1);
}

// Loads both scans, prealigns MOVING onto FIXED, prints the report line and
// writes MOVING's found pose for --out. Exit 0 when a pose was found, 1 when
// the prealignment refuses (nothing written) or the pose cannot be written,
// 2 on bad arguments or unreadable meshes.
int cmd_prealign(int argc, char** argv) {
  const CommandSyntax syntax{"prealign", kPrealignUsage, {"--out"}, {}, 2, 2};
  ParsedArgs args;
  if (!parse_args(argc, argv, syntax, args)) return 2;
  Aligner aligner;
  if (!load_pair("prealign", args.positional, aligner)) return 2;
  if (!prealign_mesh2(aligner)) return 1;
  return write_result("prealign", aligner, args.value("--out")) ? 0 : 1;
}
