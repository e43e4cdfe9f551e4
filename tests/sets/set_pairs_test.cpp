// A set's pairs are the pairs run alone: each scan of a set is readied once
// per scale its pairs use and the pairs run side by side, yet every pair
// must come out, bit for bit, as when its two scans are readied for it
// alone at the smaller of their diagonals.
#include <gtest/gtest.h>

#include <memory>

#include "range_scan_mesh.h"
#include "registration/load_scan.h"
#include "sets/scan_set.h"
#include "tools/scan_generator.h"

namespace {

// The scan's grid columns left of `width` only (the set's smaller scan).
RangeScan left_part(const RangeScan& scan, int width) {
  RangeScan part = scan;
  part.width = width;
  part.vertices.clear();
  part.colors.clear();
  part.grid.clear();
  for (int row = 0; row < scan.height; row++)
    for (int col = 0; col < width; col++) {
      const int32_t v = scan.grid[size_t(row * scan.width + col)];
      part.grid.push_back(v < 0 ? -1 : int32_t(part.vertices.size()));
      if (v < 0) continue;
      part.vertices.push_back(scan.vertices[size_t(v)]);
      part.colors.insert(part.colors.end(), &scan.colors[3 * size_t(v)], &scan.colors[3 * size_t(v) + 3]);
    }
  return part;
}

// A generated scan loaded and readied as align-set readies a scan file.
PairScan pair_scan(const RangeScan& scan, int index) {
  PairScan s;
  s.slot.mesh = range_scan_mesh(scan, true);
  s.slot.index = index;
  s.slot.pose = scan.scanner_to_world;
  derive_loaded_scan(s.slot);
  ready_for_pairing(s);
  return s;
}

}  // namespace

// Three coloured scans of a wavy sheet, the third cut to 60 % of its width:
// its pairs use its diagonal, the first two's pair their own. Every pair of
// the set equals the pair alone: pose bits, fit and how it was found.
TEST(SetPairs, EachPairAsWhenRunAlone) {
  if (!prealignment_available()) GTEST_SKIP() << "built without the prealignment";
  ScanPairOptions options;
  options.vertices = 2500;
  options.seed = 3;
  std::vector<RangeScan> made = generate_scan_set(options, 3);
  made[2] = left_part(made[2], made[2].width * 3 / 5);
  std::vector<PairScan> scans;
  for (size_t i = 0; i < made.size(); i++) scans.push_back(pair_scan(made[i], int(i)));
  ASSERT_LT(scan_diagonal(scans[2]), 0.9 * scan_diagonal(scans[0]));

  SetOptions set_options;
  set_options.ignore_poses = true;
  const SetAlignment set = align_scan_set(scans, set_options);
  ASSERT_EQ(set.pairs.size(), 3u);
  int verified = 0;
  for (const PairOutcome& in_set : set.pairs) {
    const PairScan &a = scans[size_t(in_set.a)], &b = scans[size_t(in_set.b)];
    const double diagonal = std::min(scan_diagonal(a), scan_diagonal(b));
    const PairOutcome alone = align_pair(a, ready_set_clouds(a, diagonal), b,
                                         ready_set_clouds(b, diagonal), nullptr, 0);
    const std::string label = std::to_string(in_set.a) + "-" + std::to_string(in_set.b);
    verified += in_set.verified;
    EXPECT_EQ(in_set.verified, alone.verified) << label;
    EXPECT_EQ(in_set.note, alone.note) << label;
    EXPECT_EQ(in_set.overlap, alone.overlap) << label;
    EXPECT_EQ(in_set.residual, alone.residual) << label;
    for (int k = 0; k < 16; k++) EXPECT_EQ(in_set.b_to_a[k], alone.b_to_a[k]) << label << " " << k;
  }
  EXPECT_EQ(verified, 3) << "the comparison needs pairs that were found";
}
