// The prealignment on generated scan pairs, whose true poses are known:
// recovery from starts far outside the ICP's reach, colour telling the turns
// of a symmetric shape apart, a pose that depends on the scans only (not on
// the start, not on the run, not on other threads), and refusals that leave
// mesh 2 exactly where it was.
#include <cmath>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "range_scan_mesh.h"
#include "registration/prealign.h"
#include "tools/scan_generator.h"

namespace {

// A generated scan as the loader would hold it, with its colours when
// `colors`.
std::unique_ptr<TriMesh> to_mesh(const RangeScan& scan, bool colors = false) {
  return range_scan_mesh(scan, colors);
}

ScanPair make_pair(ScanShape shape, uint32_t seed, int vertices = 6000) {
  ScanPairOptions options;
  options.shape = shape;
  options.vertices = vertices;
  options.seed = seed;
  return generate_scan_pair(options);
}

// Rotation angle (degrees) of a^-1 b, and how far apart the two poses put `p`.
double angle_between(const PoseMatrix& a, const PoseMatrix& b) {
  PoseMatrix d = inverse(a) * b;
  double c = (d.at(0, 0) + d.at(1, 1) + d.at(2, 2) - 1.0) / 2.0;
  return std::acos(std::max(-1.0, std::min(1.0, c))) * 180.0 / M_PI;
}
double diagonal(const TriMesh& mesh) {
  const point s = mesh.bounding_box.max - mesh.bounding_box.min;
  return std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
}
double offset_at(const PoseMatrix& a, const PoseMatrix& b, const point& p) {
  return len(transform_point(a, p) - transform_point(b, p));
}

}  // namespace

// Starts turned by 60 to 150 degrees and shifted by about a scan's size (on
// the wavy sheet: its shape has no symmetry a rigid motion could hide): the
// prealignment lands within a few degrees and a few hundredths of the size,
// well inside the ICP's reach; and both starts, and the scans readied
// beforehand, give the same pose, bit for bit.
TEST(Prealign, RecoversLargeMotionsReproducibly) {
  if (!prealignment_available()) GTEST_SKIP() << "built without the prealignment";
  struct Case {
    uint32_t seed;
    double degrees;
    point axis;
  };
  const Case cases[] = {{2, 150.0, point(0, 1, 0)}, {5, 60.0, point(1, 1, 0)}};
  for (const Case& c : cases) {
    ScanPair pair = make_pair(ScanShape::wavy, c.seed);
    auto fixed = to_mesh(pair.scans[0]);
    auto moving = to_mesh(pair.scans[1]);
    const PoseMatrix truth = pair.scans[1].scanner_to_world;
    moving->need_bounding_box();
    const point centre = moving->bounding_box.center();
    const PoseMatrix far_start = translation(0.2, -0.1, 0.05) *
                                 rotation(c.degrees * M_PI / 180.0, c.axis) * truth;
    PrealignResult a = prealign(*fixed, pair.scans[0].scanner_to_world, *moving, far_start);
    ASSERT_TRUE(a.ok) << a.message;
    EXPECT_LT(angle_between(a.pose, truth), 3.0) << c.seed;
    EXPECT_LT(offset_at(a.pose, truth, centre), 0.01) << c.seed;  // shapes are ~0.2 m
    EXPECT_GE(a.fitness, kPrealignMinFitness);

    PrealignResult b = prealign(*fixed, pair.scans[0].scanner_to_world, *moving, truth);
    ASSERT_TRUE(b.ok);
    for (int i = 0; i < 16; i++) EXPECT_EQ(a.pose[i], b.pose[i]) << i;

    // Readied first at the smaller diagonal, as a scan set readies its scans.
    const double d = std::min(diagonal(*fixed), diagonal(*moving));
    PrealignResult r = prealign_readied(*fixed, ready_for_prealign(*fixed, d),
                                        pair.scans[0].scanner_to_world, *moving,
                                        ready_for_prealign(*moving, d), far_start);
    for (int i = 0; i < 16; i++) EXPECT_EQ(a.pose[i], r.pose[i]) << i;
  }
}

// A torus painted with stripes and spots, started half a turn away: its
// shape alone fits every turn about its axis, its paint only one; with colour
// in the features the prealignment finds that one. Run twice, once on
// another thread at the same time as a third run, it gives the same pose bit
// for bit (the library's shared generator and thread count are the door's
// business, not the caller's).
TEST(Prealign, ColourTellsTheTurnsOfASymmetricShapeAndRepeats) {
  if (!prealignment_available()) GTEST_SKIP() << "built without the prealignment";
  ScanPair pair = make_pair(ScanShape::torus, 1, 12000);
  const PoseMatrix fixed_pose = pair.scans[0].scanner_to_world;
  const PoseMatrix truth = pair.scans[1].scanner_to_world;
  const PoseMatrix start = rotation(M_PI, 0, 0, 1) * truth;
  auto run = [&](PrealignResult& out) {
    auto fixed = to_mesh(pair.scans[0], true);
    auto moving = to_mesh(pair.scans[1], true);
    out = prealign(*fixed, fixed_pose, *moving, start);
  };
  PrealignResult a, b, c;
  run(a);
  ASSERT_TRUE(a.ok) << a.message;
  EXPECT_LT(angle_between(a.pose, truth), 2.0) << a.message;
  EXPECT_GT(a.color_difference, 0.0f);
  std::thread other([&] { run(b); });
  run(c);
  other.join();
  for (const PrealignResult* r : {&b, &c})
    for (int i = 0; i < 16; i++) EXPECT_EQ(a.pose[i], r->pose[i]) << i;
}

// A scan of a few points, and two scans of different objects: no pose is
// trusted, mesh 2 keeps its start pose exactly and the message says why.
TEST(Prealign, RefusesWithoutTrustworthyPose) {
  if (!prealignment_available()) GTEST_SKIP() << "built without the prealignment";
  ScanPair sphere = make_pair(ScanShape::sphere, 1);
  ScanPair wavy = make_pair(ScanShape::wavy, 1);
  auto few = std::make_unique<TriMesh>();
  for (int i = 0; i < 12; i++) few->vertices.push_back(point(0.01f * i, 0.02f * (i % 3), 0.0f));
  struct Case {
    std::unique_ptr<TriMesh> fixed, moving;
    const char* reason;
  };
  Case cases[] = {{to_mesh(sphere.scans[0]), std::move(few), "too few points"},
                  {to_mesh(sphere.scans[0]), to_mesh(wavy.scans[1]), "no hypothesis verified"}};
  const PoseMatrix start = translation(0.3, 0.0, -0.2) * rotation(1.0, 0, 0, 1);
  for (Case& c : cases) {
    PrealignResult r = prealign(*c.fixed, PoseMatrix(), *c.moving, start);
    EXPECT_FALSE(r.ok) << c.reason << ": " << r.message;
    EXPECT_NE(r.message.find(c.reason), std::string::npos) << r.message;
    EXPECT_TRUE(r.pose == start) << c.reason;
    EXPECT_NE(prealign_report_line(r).find("Prealignment failed: "), std::string::npos);
  }
}
