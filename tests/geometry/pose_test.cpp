// Pose files (six-digit text, round trip, the acceptance rule) and the pose algebra.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "geometry/PoseMatrix.h"

namespace {

std::string temp_path(const std::string& name) {
  const char* dir = std::getenv("ICP_TEST_TMP");
  return std::string(dir ? dir : "/tmp") + "/pose_test_" + name;
}

std::string write_text(const std::string& name, const std::string& text) {
  std::string path = temp_path(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

}  // namespace

TEST(PoseFile, WritesSixDigitRowsAndReadsThemBack) {
  // Six significant digits; negative zero keeps its sign as %g prints it.
  PoseMatrix m;
  m.at(0, 1) = 0.123456789;
  m.at(1, 0) = -0.0;
  m.at(2, 3) = 1.5e-7;
  EXPECT_EQ(pose_to_string(m), "1 0.123457 0 0\n-0 1 0 0\n0 0 1 1.5e-07\n0 0 0 1\n");
  m = rotation(0.3, 1, 2, 3) * translation(0.123456789, -4, 1e5);
  const std::string path = temp_path("roundtrip.xf");
  ASSERT_TRUE(write_pose(m, path));
  PoseMatrix back;
  ASSERT_TRUE(read_pose(path, back));
  for (int i = 0; i < 16; i++) EXPECT_NEAR(back[i], m[i], 5e-6 * std::fmax(1e-3, std::fabs(m[i])));
  EXPECT_FALSE(write_pose(identity(), "/nonexistent-dir/x.xf"));
}

// A file is accepted when the sixteen numbers leave the stream in a good state:
// a sixteenth number that ends the file without a line end is refused. A
// refused read leaves the target untouched.
TEST(PoseFile, GoodStateRuleDecidesAcceptance) {
  const std::string sixteen = "1 0 0 5\n0 1 0 6\n0 0 1 7\n0 0 0 1";
  const std::pair<std::string, bool> cases[] = {
      {sixteen, false}, {"1 0 0 5 0 1 0 6 0 0 1 7 0 0 0\n", false},
      {"1 0 0 x\n0 1 0 6\n0 0 1 7\n0 0 0 1\n", false}, {sixteen + "\n", true}, {sixteen + " 42", true},
      {"1 0 0 5\r\n0 1 0 6\r\n0 0 1 7\r\n0 0 0 1\r\n", true}};
  for (const auto& [text, ok] : cases) {
    PoseMatrix target = translation(9, 9, 9);
    EXPECT_EQ(read_pose(write_text("case.xf", text), target), ok) << text;
    EXPECT_EQ(target, ok ? translation(5, 6, 7) : translation(9, 9, 9)) << text;
  }
  PoseMatrix target;
  EXPECT_FALSE(read_pose(temp_path("does-not-exist.xf"), target));
}

TEST(PoseMatrixOps, RotationIsRightHandedAndProductAppliesRightOperandFirst) {
  // (1, 0, 0) turns to (0, 1, 0), then shifts; the axis need not be of unit length.
  point q = (translation(1, 0, 0) * rotation(M_PI / 2, IntTriple(0, 0, 2))) * point(1, 0, 0);
  EXPECT_LT(dist(q, point(1, 1, 0)), 1e-6f);
  EXPECT_EQ(rotation(1.0, 0, 0, 0), identity());  // a zero axis gives the identity
}

TEST(PoseMatrixOps, InverseUndoesAndSingularGivesIdentity) {
  PoseMatrix m = translation(3, -2, 5) * rotation(0.7, 1, 1, 0);
  m.at(0, 0) *= 2.0;  // not rigid: the general inverse is needed
  PoseMatrix p = m * inverse(m);
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) EXPECT_NEAR(p.at(r, c), r == c ? 1.0 : 0.0, 1e-12);
  PoseMatrix zero_row, rank_deficient;  // the latter has two equal rows: zero pivot
  for (int c = 0; c < 4; c++) zero_row.at(1, c) = 0.0, rank_deficient.at(1, c) = rank_deficient.at(0, c);
  EXPECT_EQ(inverse(zero_row), identity());
  EXPECT_EQ(inverse(rank_deficient), identity());
}

TEST(PoseMatrixOps, NormalMatrixKeepsNormalsPerpendicular) {
  PoseMatrix m = translation(1, 2, 3) * rotation(0.4, 0, 1, 0);
  m.at(1, 1) = 3.0;  // a stretch, where the plain rotation part would be wrong
  point t2 = transform_direction(m, point(1, 1, 0));
  point n2 = transform_direction(normal_matrix(m), point(1, -1, 0));
  EXPECT_NEAR(dot(t2, n2), 0.0f, 1e-5);
  EXPECT_EQ(normal_matrix(m)[12], 0.0);
  point zero;  // a zero vector normalizes to the x axis, never to NaN
  EXPECT_EQ(normalize(zero), point(1, 0, 0));
}
