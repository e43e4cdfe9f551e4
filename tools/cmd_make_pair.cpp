#include <cstdio>
#include <string>

#include "tools/args.h"
#include "tools/commands.h"
#include "tools/scan_generator.h"

namespace {

const char kMakePairUsage[] =
    "usage: icp_tool make-pair --shape sphere|torus|wavy|plane --out DIR [--vertices N] "
    "[--noise S] [--seed K] [--scans N]\n"
    "  --scans N  write N scans (2 to 36) ringing the shape, DIR/scan01.ply ... with poses,\n"
    "             instead of the pair DIR/mesh1.ply, DIR/mesh2.ply\n";

// Writes the set of --scans N; exit status as cmd_make_pair's.
int make_set(const ScanPairOptions& options, int count, const std::string& dir) {
  std::vector<RangeScan> scans;
  std::string why;
  if (!write_scan_set(options, count, dir, scans, why)) {
    std::fprintf(stderr, "icp_tool make-pair: %s\n", why.c_str());
    return 1;
  }
  for (int i = 0; i < count; i++)
    std::printf("%s/scan%02d.ply: %zu vertices; pose in %s/scan%02d.xf\n", dir.c_str(), i + 1,
                scans[size_t(i)].vertices.size(), dir.c_str(), i + 1);
  std::printf("%d scans ringing the shape; all load aligned in the common frame\n", count);
  return 0;
}

}  // namespace

// Writes a synthetic coloured scan pair with known poses into DIR (exit 0),
// or says why not (exit 1 for a failed write, 2 for bad arguments).
int cmd_make_pair(int argc, char** argv) {
  const CommandSyntax syntax{"make-pair", kMakePairUsage,
                     {"--shape", "--out", "--vertices", "--noise", "--seed", "--scans"}, {}, 0, 0};
  ParsedArgs args;
  if (!parse_args(argc, argv, syntax, args)) return 2;
  if (!args.has("--shape") || !args.has("--out"))
    return usage_error(syntax, "--shape and --out are required");
  ScanPairOptions options;
  const std::string out_dir = args.value("--out");
  long number = 0;
  int scans = 0;
  for (const auto& [flag, text] : args.values) {
    const char* value = text.c_str();
    bool ok = true;
    if (flag == "--shape") {
      ok = parse_scan_shape(value, options.shape);
    } else if (flag == "--out") {
      ok = !text.empty();
    } else if (flag == "--vertices") {
      ok = parse_whole(value, 1, 1L << 40, number);
      options.vertices = number > kMaxScanVertices ? kMaxScanVertices + 1 : static_cast<int>(number);
    } else if (flag == "--noise") {
      ok = parse_finite(value, options.noise);
    } else if (flag == "--seed") {
      ok = parse_whole(value, 0, 4294967295L, number);
      options.seed = static_cast<uint32_t>(number);
    } else if (flag == "--scans") {
      ok = parse_whole(value, 2, kMaxSetScans, number);
      scans = static_cast<int>(number);
    }
    if (!ok) return usage_error(syntax, "bad value '" + text + "' for " + flag);
  }
  std::string why;
  if (!check_scan_pair_options(options, why)) {
    std::fprintf(stderr, "icp_tool make-pair: %s\n", why.c_str());
    return 2;
  }
  if (scans > 0) return make_set(options, scans, out_dir);
  ScanPair pair;
  if (!write_scan_pair(options, out_dir, pair, why)) {
    std::fprintf(stderr, "icp_tool make-pair: %s\n", why.c_str());
    return 1;
  }
  for (int i = 0; i < 2; i++) {
    const RangeScan& s = pair.scans[i];
    std::printf("%s/mesh%d.ply: %d x %d grid, %zu vertices; pose in %s/mesh%d.xf\n", out_dir.c_str(), i + 1,
                s.width, s.height, s.vertices.size(), out_dir.c_str(), i + 1);
  }
  std::printf("views %.1f degrees apart; both scans load aligned in the common frame\n",
              pair.view_angle_degrees);
  return 0;
}
