// Pose files (six-digit text, round trip, the acceptance rule) and the pose algebra.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "geometry/PoseMatrix.h"
#include "geometry/pose_file.h"

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
// refused read leaves the target untouched, and the reader says why.
TEST(PoseFile, GoodStateRuleDecidesAcceptanceAndSaysWhy) {
  using S = PoseFileStatus;
  const std::string sixteen = "1 0 0 5\n0 1 0 6\n0 0 1 7\n0 0 0 1";
  const struct {
    std::string text;
    S status;
    int numbers;
  } cases[] = {{sixteen, S::no_line_end, 0},
               {"1 0 0 5 0 1 0 6 0 0 1 7 0 0 0\n", S::too_few_numbers, 15},
               {"", S::too_few_numbers, 0},
               {"1 0 0 x\n0 1 0 6\n0 0 1 7\n0 0 0 1\n", S::not_a_number, 3},
               {"1 0 nan 5\n", S::not_a_number, 2},
               {"1e400 0 0 5\n", S::not_a_number, 0},
               {sixteen + "\n", S::rigid, 0},
               {sixteen + " 42", S::rigid, 0},
               {"1 0 0 5\r\n0 1 0 6\r\n0 0 1 7\r\n0 0 0 1\r\n", S::rigid, 0},
               {sixteen + "\n" + std::string(kMaxPoseFileBytes, ' '), S::too_large, 0}};
  for (const auto& c : cases) {
    PoseMatrix target = translation(9, 9, 9);
    const std::string path = write_text("case.xf", c.text);
    PoseFileCheck check = read_pose_file(path, target);
    EXPECT_EQ(check.status, c.status) << c.text << " -> " << pose_problem_text(check);
    EXPECT_EQ(check.numbers, c.numbers) << c.text;
    bool ok = c.status == S::rigid;
    EXPECT_EQ(target, ok ? translation(5, 6, 7) : translation(9, 9, 9)) << c.text;
    PoseMatrix again = translation(9, 9, 9);
    EXPECT_EQ(read_pose(path, again), ok) << c.text;
    EXPECT_EQ(pose_needs_warning(c.status), !ok) << c.text;
  }
  PoseMatrix target;
  EXPECT_FALSE(read_pose(temp_path("does-not-exist.xf"), target));
  EXPECT_EQ(read_pose_file(temp_path("does-not-exist.xf"), target).status, S::absent);
  EXPECT_EQ(read_pose_file("", target).status, S::absent);
}

// A folder, a pipe with no writer (which a plain open would wait on for
// ever) or a device is refused without being read.
TEST(PoseFile, OnlyRegularFilesAreRead) {
  const std::string fifo = temp_path("fifo.xf");
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  PoseMatrix target = translation(9, 9, 9);
  const std::string folder = temp_path("folder.xf");
  ::mkdir(folder.c_str(), 0700);
  for (const std::string& path : {fifo, std::string("/dev/zero"), folder}) {
    EXPECT_EQ(read_pose_file(path, target).status, PoseFileStatus::not_regular) << path;
    EXPECT_FALSE(read_pose(path, target)) << path;
  }
  EXPECT_EQ(target, translation(9, 9, 9));
  ::unlink(fifo.c_str());
}

// Rigid, merely not rigid (still usable) or singular (unusable), free of
// the file's units: a rotation at 1e-6 scale is singular nowhere.
TEST(PoseFile, ShapeOfTheMatrix) {
  using S = PoseFileStatus;
  const PoseMatrix turn = translation(1e6, -3, 2) * rotation(0.7, 1, 2, 3);
  PoseMatrix scaled = turn, mirrored = turn, projective = turn, flat = turn, tiny = turn, no_w = turn;
  no_w.at(3, 3) = 0.0;
  for (int r = 0; r < 3; r++) {
    scaled.at(r, 0) *= 1.02;
    mirrored.at(r, 2) = -mirrored.at(r, 2);
    flat.at(r, 2) = flat.at(r, 0) + flat.at(r, 1);  // third axis in the plane of the others
    for (int c = 0; c < 3; c++) tiny.at(r, c) *= 1e-6;
  }
  projective.at(3, 0) = 0.5;
  PoseMatrix nearly;  // a rotation written with six digits stays rigid
  std::istringstream(pose_to_string(turn)) >> nearly;
  const std::pair<PoseMatrix, S> cases[] = {{turn, S::rigid}, {nearly, S::rigid}, {scaled, S::not_rigid},
                                            {mirrored, S::not_rigid}, {projective, S::not_rigid},
                                            {tiny, S::not_rigid}, {flat, S::singular}, {no_w, S::singular},
                                            {PoseMatrix(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1), S::singular},
                                            {translation(NAN, 0, 0), S::not_a_number}};
  for (size_t i = 0; i < std::size(cases); i++) EXPECT_EQ(pose_shape(cases[i].first), cases[i].second) << i;
  EXPECT_TRUE(pose_is_usable(S::not_rigid));
  EXPECT_FALSE(pose_is_usable(S::singular));
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
