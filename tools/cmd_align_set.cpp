// icp_tool align-set: a whole set of scans aligned into one frame
// (sets/scan_set.h), with its pose files, pair table and report.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "geometry/durable_write.h"
#include "mesh/diagnostics.h"
#include "registration/load_scan.h"
#include "registration/timer.h"
#include "sets/merged_model.h"
#include "sets/scan_set.h"
#include "tools/args.h"
#include "tools/commands.h"

namespace {

const char kUsage[] =
    "usage: icp_tool align-set SCAN... --out DIR [--ignore-poses] [--merged MODEL.ply]\n"
    "                          [--voxel FRACTION]\n"
    "  aligns every scan into the first placed scan's frame and writes DIR/<scan>.xf\n"
    "  per scan placed, DIR/pairs.csv (every pair tried) and DIR/report.txt;\n"
    "  each scan starts from its pose file when present (--ignore-poses: every\n"
    "  scan in a frame of its own). Exit 0 when every scan was placed, 1 when\n"
    "  some were left out (or an output could not be written), 2 on bad arguments\n"
    "  or unreadable scans.\n"
    "  --merged MODEL.ply  also write every placed scan in one binary coloured PLY\n"
    "                      (points with normals), in the common frame\n"
    "  --voxel FRACTION    thin the merged model to one point per cube of this\n"
    "                      fraction of its bounding-box diagonal (e.g. 0.002)\n";

// The pair's rotation as axis times angle, in degrees.
void rotation_vector_degrees(const PoseMatrix& pose, double r[3]) {
  const double degrees = rotation_degrees(pose);
  double axis[3] = {pose.at(2, 1) - pose.at(1, 2), pose.at(0, 2) - pose.at(2, 0),
                    pose.at(1, 0) - pose.at(0, 1)};
  double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  if (degrees > 179.0) {
    // Near half a turn the skew part vanishes: the axis is the column of
    // the largest diagonal entry of (R + I) / 2.
    int k = 0;
    for (int i = 1; i < 3; i++)
      if (pose.at(i, i) > pose.at(k, k)) k = i;
    for (int i = 0; i < 3; i++) axis[i] = pose.at(i, k) + (i == k ? 1.0 : 0.0);
    length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  }
  for (int i = 0; i < 3; i++) r[i] = length > 0.0 ? axis[i] / length * degrees : 0.0;
}

// The file name without its folder and its last ending.
std::string stem(const std::string& path) { return std::filesystem::path(path).stem().string(); }

const char* role_name(PairRole role) {
  switch (role) {
    case PairRole::unverified: return "unverified";
    case PairRole::rejected: return "rejected";
    case PairRole::tree: return "tree";
    case PairRole::loop: return "loop";
  }
  return "?";
}

// Quotes a CSV field when it holds a comma, quote or line end.
std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string pairs_csv(const std::vector<std::string>& names, const SetAlignment& set) {
  std::string out =
      "scan_a,scan_b,overlap,verified,residual_spacings,rotation_x,rotation_y,rotation_z,"
      "translation_x,translation_y,translation_z,in_graph,role,note\n";
  for (size_t k = 0; k < set.pairs.size(); k++) {
    const PairOutcome& p = set.pairs[k];
    char numbers[320];
    double r[3];
    rotation_vector_degrees(p.b_to_a, r);
    std::snprintf(numbers, sizeof numbers, ",%.4f,%s,%.3f,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%s,",
                  p.overlap, p.verified ? "yes" : "no", p.residual, r[0], r[1], r[2],
                  p.b_to_a.at(0, 3), p.b_to_a.at(1, 3), p.b_to_a.at(2, 3),
                  set.in_graph[k] ? "yes" : "no");
    std::string reason = set.plan.reasons[k].empty() ? p.note : set.plan.reasons[k];
    out += csv_field(names[size_t(p.a)]) + "," + csv_field(names[size_t(p.b)]) + numbers +
           role_name(set.plan.roles[k]) + "," + csv_field(reason) + "\n";
  }
  return out;
}

std::string report_text(const std::vector<std::string>& names, const SetAlignment& set) {
  int placed = 0, verified = 0, rejected = 0;
  for (bool p : set.plan.placed) placed += p;
  for (size_t k = 0; k < set.pairs.size(); k++) {
    verified += set.pairs[k].verified;
    rejected += set.plan.roles[k] == PairRole::rejected;
  }
  char line[320];
  std::string out;
  std::snprintf(line, sizeof line, "Scans placed: %d of %zu, in the frame of %s.\n", placed,
                names.size(), set.plan.anchor >= 0 ? names[size_t(set.plan.anchor)].c_str() : "-");
  out += line;
  std::snprintf(line, sizeof line,
                "Pairs: %zu tried, %d verified, %d rejected as contradicted by the others.\n",
                set.pairs.size(), verified, rejected);
  out += line;
  out += "Graph: " + set.optimisation + ".\n";
  for (size_t i = 0; i < names.size(); i++) {
    if (set.plan.placed[i]) continue;
    int joined = 0;
    for (size_t k = 0; k < set.pairs.size(); k++)
      if ((set.pairs[k].a == int(i) || set.pairs[k].b == int(i)) &&
          (set.plan.roles[k] == PairRole::tree || set.plan.roles[k] == PairRole::loop))
        joined++;
    out += "Left out: " + names[i] +
           (joined ? " (its verified pairs join it only to scans outside the placed group)\n"
                   : " (no pair with it verified: it overlaps none of the others)\n");
  }
  // Where the time went: the phases' wall time, and the pairs' own time
  // (summed over the threads) split into prealignment and ICP.
  double prealign_ms = 0.0, icp_ms = 0.0;
  for (const PairOutcome& p : set.pairs) prealign_ms += p.prealign_ms, icp_ms += p.icp_ms;
  std::snprintf(line, sizeof line,
                "Time: %.1f s (readying the scans %.1f s, pairs %.1f s, graph %.1f s; the pairs' "
                "prealignments %.1f s and ICP %.1f s summed over threads).\n",
                set.milliseconds / 1000.0, set.ready_ms / 1000.0, set.pairs_ms / 1000.0,
                (set.milliseconds - set.ready_ms - set.pairs_ms) / 1000.0, prealign_ms / 1000.0,
                icp_ms / 1000.0);
  out += line;
  return out;
}

// "pairs 12/45, 8.3 s" on a terminal, redrawn in place.
struct ProgressLine {
  bool shown = isatty(STDERR_FILENO) == 1;
  Timer timer;
  void operator()(int done, int total) const {
    if (!shown) return;
    std::fprintf(stderr, "\rpairs %d/%d, %.1f s", done, total, timer.elapsed_ms() / 1000.0);
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
  }
};

// Writes every output; false after saying which failed.
bool write_outputs(const std::string& dir, const std::vector<std::string>& names,
                   const SetAlignment& set) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::string why;
  auto write = [&](const std::string& name, const std::string& bytes) {
    if (write_file_durably(dir + "/" + name, bytes, why)) return true;
    std::fprintf(stderr, "icp_tool align-set: cannot write %s/%s: %s\n", dir.c_str(), name.c_str(),
                 why.c_str());
    return false;
  };
  bool ok = true;
  for (size_t i = 0; i < names.size(); i++)
    if (set.plan.placed[i]) ok = write(names[i] + ".xf", pose_to_string(set.poses[i])) && ok;
  ok = write("pairs.csv", pairs_csv(names, set)) && ok;
  return write("report.txt", report_text(names, set)) && ok;
}

// Writes the placed scans as one model; false after saying why not.
bool write_merged(const std::string& path, double voxel, std::vector<PairScan>& scans,
                  const SetAlignment& set) {
  std::vector<TriMesh*> meshes;
  std::vector<PoseMatrix> poses;
  for (size_t i = 0; i < scans.size(); i++)
    if (set.plan.placed[i]) meshes.push_back(scans[i].slot.mesh.get()), poses.push_back(set.poses[i]);
  TriMesh merged;
  std::string why;
  if (merge_scans(meshes, poses, voxel, merged, why) &&
      write_file_durably(path, merged_ply_bytes(merged), why)) {
    std::fprintf(stderr, "Merged model: %zu points in %s.\n", merged.vertices.size(), path.c_str());
    return true;
  }
  std::fprintf(stderr, "icp_tool align-set: cannot write %s: %s\n", path.c_str(), why.c_str());
  return false;
}

}  // namespace

int cmd_align_set(int argc, char** argv) {
  const CommandSyntax syntax{"align-set", kUsage, {"--out", "--merged", "--voxel"}, {"--ignore-poses"}, 2, 100000};
  ParsedArgs args;
  if (!parse_args(argc, argv, syntax, args)) return 2;
  if (!args.has("--out")) return usage_error(syntax, "--out is required");
  const std::string dir = args.value("--out");
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (const std::string& path : args.positional) {
    names.push_back(stem(path));
    if (!seen.insert(names.back()).second)
      return usage_error(syntax, "two scans named " + names.back() + " would share one pose file");
  }
  float voxel = 0.0f;
  if (args.has("--voxel") && (!args.has("--merged") || !parse_finite(args.value("--voxel"), voxel) ||
                              !(voxel > 0.0f && voxel <= 1.0f)))
    return usage_error(syntax, "--voxel needs --merged and a fraction above 0 and at most 1");
  SetOptions options;
  options.ignore_poses = args.has("--ignore-poses");
  std::vector<PairScan> scans(names.size());
  // Ten or fifty scans' load messages would bury the report; errors still show.
  set_verbose(false);
  for (size_t i = 0; i < scans.size(); i++) {
    const std::string& path = args.positional[i];
    if (!load_scan(scans[i].slot, int(i), path) || scans[i].slot.mesh->vertices.empty()) {
      std::fprintf(stderr, "icp_tool align-set: cannot read mesh %s\n", path.c_str());
      return 2;
    }
    ready_for_pairing(scans[i]);
  }
  const ProgressLine progress;
  options.progress = [&](int done, int total) { progress(done, total); };
  const SetAlignment set = align_scan_set(scans, options);
  const std::string report = report_text(names, set);
  std::fputs(report.c_str(), stderr);
  if (!write_outputs(dir, names, set)) return 1;
  if (args.has("--merged") && !write_merged(args.value("--merged"), voxel, scans, set)) return 1;
  for (bool placed : set.plan.placed)
    if (!placed) return 1;
  return 0;
}
