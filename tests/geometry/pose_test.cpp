#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

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

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const double kTol = 1e-12;

}  // namespace

TEST(PoseFile, WritesRowsWithPercentG) {
  std::string path = temp_path("identity.xf");
  ASSERT_TRUE(write_pose(identity(), path));
  EXPECT_EQ(read_text(path), "1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n");

  ASSERT_TRUE(write_pose(translation(1, 2, 3), path));
  EXPECT_EQ(read_text(path), "1 0 0 1\n0 1 0 2\n0 0 1 3\n0 0 0 1\n");

  // Six significant digits; negative zero keeps its sign as %g prints it.
  PoseMatrix m;
  m.at(0, 1) = 0.123456789;
  m.at(1, 0) = -0.0;
  m.at(2, 3) = 1.5e-7;
  EXPECT_EQ(pose_to_string(m), "1 0.123457 0 0\n-0 1 0 0\n0 0 1 1.5e-07\n0 0 0 1\n");
}

TEST(PoseFile, ReadsBackWithinSixDigits) {
  PoseMatrix m = rotation(0.3, 1, 2, 3) * translation(0.123456789, -4, 1e5);
  std::string path = temp_path("roundtrip.xf");
  ASSERT_TRUE(write_pose(m, path));
  PoseMatrix back;
  ASSERT_TRUE(read_pose(path, back));
  // Six significant digits: a relative error of at most half a unit in the sixth digit.
  for (int i = 0; i < 16; i++) EXPECT_NEAR(back[i], m[i], 5e-6 * std::fmax(1e-3, std::fabs(m[i])));
}

TEST(PoseFile, GoodStateRuleDecidesAcceptance) {
  const std::string sixteen = "1 0 0 5\n0 1 0 6\n0 0 1 7\n0 0 0 1";
  PoseMatrix target = translation(9, 9, 9);
  const PoseMatrix before = target;

  // The sixteenth number ends the file: end of file is reached, so rejected.
  EXPECT_FALSE(read_pose(write_text("noeol.xf", sixteen), target));
  EXPECT_EQ(target, before);
  // Fifteen numbers: rejected, target untouched.
  EXPECT_FALSE(read_pose(write_text("fifteen.xf", "1 0 0 5 0 1 0 6 0 0 1 7 0 0 0\n"), target));
  EXPECT_EQ(target, before);
  // A token that is not a number.
  EXPECT_FALSE(read_pose(write_text("word.xf", "1 0 0 x\n0 1 0 6\n0 0 1 7\n0 0 0 1\n"), target));
  EXPECT_EQ(target, before);
  // Missing file.
  EXPECT_FALSE(read_pose(temp_path("does-not-exist.xf"), target));
  EXPECT_EQ(target, before);

  // With a final newline, CR LF line ends, or a seventeenth number: accepted.
  ASSERT_TRUE(read_pose(write_text("eol.xf", sixteen + "\n"), target));
  EXPECT_EQ(target, translation(5, 6, 7));
  ASSERT_TRUE(read_pose(write_text("crlf.xf", "1 0 0 1\r\n0 1 0 2\r\n0 0 1 3\r\n0 0 0 1\r\n"), target));
  EXPECT_EQ(target, translation(1, 2, 3));
  ASSERT_TRUE(read_pose(write_text("seventeen.xf", sixteen + " 42"), target));
  EXPECT_EQ(target, translation(5, 6, 7));
}

TEST(PoseFile, WriteFailsWhenFileCannotBeCreated) {
  EXPECT_FALSE(write_pose(identity(), "/nonexistent-dir/x.xf"));
}

TEST(PoseMatrixOps, RotationFollowsRightHandRule) {
  PoseMatrix r = rotation(M_PI / 2, IntTriple(0, 0, 1));
  point q = r * point(1, 0, 0);
  EXPECT_NEAR(q.x, 0.0f, 1e-7);
  EXPECT_NEAR(q.y, 1.0f, 1e-7);
  EXPECT_NEAR(q.z, 0.0f, 1e-7);
  // The axis need not be of unit length; a zero axis gives the identity.
  PoseMatrix r2 = rotation(M_PI / 2, 0, 0, 2);
  for (int i = 0; i < 16; i++) EXPECT_NEAR(r2[i], r[i], kTol);
  EXPECT_EQ(rotation(1.0, 0, 0, 0), identity());
}

TEST(PoseMatrixOps, ProductAppliesRightOperandFirst) {
  PoseMatrix t = translation(1, 0, 0), r = rotation(M_PI / 2, 0, 0, 1);
  point p = (t * r) * point(1, 0, 0);  // rotate to (0,1,0), then shift
  EXPECT_NEAR(p.x, 1.0f, 1e-6);
  EXPECT_NEAR(p.y, 1.0f, 1e-6);
}

TEST(PoseMatrixOps, InverseUndoesAndSingularGivesIdentity) {
  PoseMatrix m = translation(3, -2, 5) * rotation(0.7, 1, 1, 0);
  m.at(0, 0) *= 2.0;  // not rigid: the general inverse is needed
  PoseMatrix p = m * inverse(m);
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) EXPECT_NEAR(p.at(r, c), r == c ? 1.0 : 0.0, 1e-12);

  PoseMatrix zero_row;
  zero_row.at(1, 0) = zero_row.at(1, 1) = zero_row.at(1, 2) = zero_row.at(1, 3) = 0.0;
  EXPECT_EQ(inverse(zero_row), identity());
  PoseMatrix rank_deficient;  // two equal rows: zero pivot
  for (int c = 0; c < 4; c++) rank_deficient.at(1, c) = rank_deficient.at(0, c);
  EXPECT_EQ(inverse(rank_deficient), identity());
}

TEST(PoseMatrixOps, NormalMatrixKeepsNormalsPerpendicular) {
  PoseMatrix m = translation(1, 2, 3) * rotation(0.4, 0, 1, 0);
  m.at(1, 1) = 3.0;  // a stretch, where the plain rotation part would be wrong
  point tangent(1, 1, 0), normal(1, -1, 0);
  point t2 = transform_direction(m, tangent);
  point n2 = transform_direction(normal_matrix(m), normal);
  EXPECT_NEAR(dot(t2, n2), 0.0f, 1e-5);
  EXPECT_EQ(normal_matrix(m)[12], 0.0);
}

TEST(VectorOps, NormalizeAndTrinorm) {
  point z;
  EXPECT_EQ(normalize(z), point(1, 0, 0));
  point v(3, 0, 4);
  normalize(v);
  EXPECT_FLOAT_EQ(len(v), 1.0f);
  point n = trinorm(point(0, 0, 0), point(2, 0, 0), point(0, 2, 0));
  EXPECT_EQ(n, point(0, 0, 2));  // area 2, facing +z
  Color c = Color::from_bytes(255, 0, 128);
  EXPECT_NEAR(c.r, 1.0f, 1e-6);
  EXPECT_EQ(c.g, 0.0f);
  EXPECT_NEAR(c.b, 128.0f / 255.0f, 1e-6);
}
