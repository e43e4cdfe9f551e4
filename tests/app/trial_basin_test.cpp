// The pose-based outcome of a trial against motions built by hand, and the
// basin picture's error axis, marks and file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "app/trial_basin.h"
#include "geometry/durable_write.h"
#include "support.h"

namespace {

const double kPi = 3.141592653589793;

// The rotation is about the box centre, so it moves the centre by nothing;
// only the translation shifts it. The reference is a general pose, so the
// offset must be taken relative to it, not to the identity.
TEST(TrialBasin, PoseOffsetAndRecoveryAgainstKnownMotions) {
  const PoseMatrix reference = translation(1.0, -2.0, 0.5) * rotation(0.7, 1, 2, 3);
  const point centre(0.3f, 0.1f, -0.2f);
  const point placed = reference * centre;  // where the reference puts the centre
  const double diagonal = 2.0;
  struct Case {
    double degrees, shift;
    bool recovered;
  } cases[] = {
      {0.0, 0.0, true},   {0.9, 0.019, true},  {1.1, 0.0, false},
      {0.0, 0.021, false}, {40.0, 0.3, false}, {180.0, 0.0, false},
  };
  for (const Case& c : cases) {
    PoseMatrix motion = translation(c.shift, 0.0, 0.0) * translation(placed) *
                        rotation(c.degrees * kPi / 180.0, 0, 1, 1) * translation(-placed);
    PoseOffset o = pose_offset(reference, motion * reference, centre);
    EXPECT_NEAR(o.degrees, c.degrees, 1e-4) << c.degrees;
    EXPECT_NEAR(o.shift, c.shift, 1e-5) << c.degrees;
    EXPECT_EQ(pose_recovered(o, diagonal), c.recovered) << c.degrees << " " << c.shift;
    // A looser rule takes in what the default refuses below its thresholds.
    EXPECT_EQ(pose_recovered(o, diagonal, PoseRule{2.0, 0.011}), c.degrees < 2 && c.shift < 0.022);
  }
  // A pose read from float-precision text is orthogonal only to about 1e-7;
  // the angle of a small turn must not drown in that rounding.
  PoseMatrix rounded = rotation(0.002 * kPi / 180.0, 1, 1, 0) * reference;
  for (double& v : rounded.m) v = double(float(v));
  EXPECT_NEAR(pose_offset(reference, rounded, centre).degrees, 0.002, 2e-4);
}

// Decades cover every finite positive error and the 0.001 line; zero and
// non-finite errors sit on the edges; the SVG holds one mark per trial and
// variant.
TEST(TrialBasin, AxesAndMarks) {
  std::vector<TrialRecord> records(3);
  records[0].error_icp = 2.5e-6f;
  records[0].error_color = 0.04f;
  records[1].error_icp = 0.0f;
  records[1].error_color = NAN;
  records[2].start_degrees = 30.0;
  BasinAxes axes = basin_axes(records);
  EXPECT_EQ(axes.low_decade, -6);
  EXPECT_EQ(axes.high_decade, -1);
  EXPECT_DOUBLE_EQ(axes.max_degrees, 30.0);
  EXPECT_NEAR(axes.error_position(0.001f), 3.0 / 5.0, 1e-6);
  EXPECT_EQ(axes.error_position(0.0f), 0.0);
  EXPECT_EQ(axes.error_position(INFINITY), 1.0);

  std::string svg = basin_svg(records);
  size_t marks = 0;
  for (size_t at = svg.find("<g class=\"mark\""); at != std::string::npos;
       at = svg.find("<g class=\"mark\"", at + 1))
    marks++;
  EXPECT_EQ(marks, 6u);
  EXPECT_EQ(pose_outcome_line(records),
            "Pose recuperada (< 1 grado, < 1% diagonal): ICP 0 de 3, ICP_Color 0 de 3\n");
}

// Starts far away (a pose file 1e8 from its scan) or not finite neither
// stretch the axes nor multiply the ticks: they sit on the right edge, the
// picture stays small and holds no "nan" or "inf" coordinate. Usual ranges
// keep their round steps.
TEST(TrialBasin, FarAndNonFiniteStartsKeepThePictureSmall) {
  const struct {
    double axis_max, step;
    bool shift;
  } steps[] = {{30, 10, false}, {180, 10, false}, {0.8, 0.1, true}, {0.2, 0.05, true},
               {2.0, 0.1, true}, {3.7, 0.5, true}, {1e6, 1e5, true}, {140, 20, true}};
  for (const auto& c : steps) EXPECT_DOUBLE_EQ(basin_tick_step(c.axis_max, c.shift), c.step) << c.axis_max;

  std::vector<TrialRecord> records(5);
  const double shifts[] = {3.66, 1e8, 1e300, INFINITY, NAN};
  for (size_t i = 0; i < records.size(); i++) {
    records[i].start_shift = shifts[i];
    records[i].start_degrees = i == 4 ? NAN : 20.0;
  }
  BasinAxes axes = basin_axes(records);
  EXPECT_DOUBLE_EQ(axes.max_shift, 3.7);
  EXPECT_DOUBLE_EQ(axes.max_degrees, 20.0);
  for (size_t i = 1; i < records.size(); i++) EXPECT_EQ(axes.start_position(records[i], true), 1.0);
  EXPECT_EQ(axes.start_position(records[4], false), 1.0);
  std::string svg = basin_svg(records);
  EXPECT_LT(svg.size(), 12000u);
  for (const char* bad : {"=\"nan", "=\"-nan", "=\"inf", "=\"-inf"}) EXPECT_EQ(svg.find(bad), std::string::npos) << bad;
}

// The picture is replaced as a whole: a full disk or a folder at its name
// keeps the previous picture and leaves no temporary beside it.
TEST(TrialBasin, FailedPictureKeepsThePreviousOne) {
  std::string dir = tmp_dir("basin_" + std::to_string(getpid()));
  std::string path = dir + "/run_basin.svg";
  std::vector<TrialRecord> records(2);
  ASSERT_TRUE(write_basin_svg(path, records));
  set_temp_file_opener([](const std::string& folder, std::string& temp) {
    temp = folder + "/.icp_full.tmp";
    std::fclose(std::fopen(temp.c_str(), "wb"));
    return std::fopen("/dev/full", "wb");
  });
  records.resize(5);
  EXPECT_FALSE(write_basin_svg(path, records));
  set_temp_file_opener(nullptr);
  EXPECT_EQ(read_bytes(path), basin_svg(std::vector<TrialRecord>(2)));
  EXPECT_FALSE(std::ifstream(dir + "/.icp_full.tmp").good());
  mkdir((dir + "/folder_basin.svg").c_str(), 0755);
  EXPECT_FALSE(write_basin_svg(dir + "/folder_basin.svg", records));
}

}  // namespace
