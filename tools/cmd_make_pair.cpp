#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/commands.h"
#include "tools/scan_generator.h"

namespace {

const char kMakePairUsage[] =
    "usage: icp_tool make-pair --shape sphere|torus|wavy|plane --out DIR [--vertices N] "
    "[--noise S] [--seed K]\n";

// Whole decimal number within [lo, hi]; false for anything else.
bool parse_long(const char* text, long lo, long hi, long& value) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
  value = v;
  return true;
}

bool parse_float(const char* text, float& value) {
  char* end = nullptr;
  const float v = std::strtof(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(v)) return false;
  value = v;
  return true;
}

}  // namespace

// Writes a synthetic coloured scan pair with known poses into DIR (exit 0),
// or says why not (exit 1 for a failed write, 2 for bad arguments).
int cmd_make_pair(int argc, char** argv) {
  ScanPairOptions options;
  std::string out_dir;
  bool have_shape = false;
  for (int i = 0; i < argc; i++) {
    const char* flag = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "icp_tool make-pair: %s needs a value\n%s", flag, kMakePairUsage);
      return 2;
    }
    const char* value = argv[++i];
    long number = 0;
    bool ok = true;
    if (std::strcmp(flag, "--shape") == 0) {
      ok = have_shape = parse_scan_shape(value, options.shape);
    } else if (std::strcmp(flag, "--out") == 0) {
      out_dir = value;
      ok = !out_dir.empty();
    } else if (std::strcmp(flag, "--vertices") == 0) {
      ok = parse_long(value, 1, 1L << 40, number);
      options.vertices = number > kMaxScanVertices ? kMaxScanVertices + 1 : static_cast<int>(number);
    } else if (std::strcmp(flag, "--noise") == 0) {
      ok = parse_float(value, options.noise);
    } else if (std::strcmp(flag, "--seed") == 0) {
      ok = parse_long(value, 0, 4294967295L, number);
      options.seed = static_cast<uint32_t>(number);
    } else {
      std::fprintf(stderr, "icp_tool make-pair: unknown option %s\n%s", flag, kMakePairUsage);
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "icp_tool make-pair: bad value '%s' for %s\n%s", value, flag, kMakePairUsage);
      return 2;
    }
  }
  if (!have_shape || out_dir.empty()) {
    std::fprintf(stderr, "icp_tool make-pair: --shape and --out are required\n%s", kMakePairUsage);
    return 2;
  }
  std::string why;
  if (!check_scan_pair_options(options, why)) {
    std::fprintf(stderr, "icp_tool make-pair: %s\n", why.c_str());
    return 2;
  }
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
