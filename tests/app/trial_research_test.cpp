// The statistics of a batch's summary against published values, the success
// curve's bins at their edges, and the start-pose file's exact round trip.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>
#include <string>
#include <vector>

#include "app/success_curve.h"
#include "app/trial_starts.h"
#include "app/trial_outputs.h"
#include "app/trial_summary.h"
#include "geometry/durable_write.h"
#include "support.h"

namespace {

TEST(TrialResearch, WilsonIntervalAndPercentiles) {
  // Wilson score intervals at 95 % (Newcombe 1998, table I: 81 of 263 and
  // 15 of 148; the bounds at 0 and n are exactly 0 and 1).
  struct Case {
    int k, n;
    double low, high;
  } cases[] = {{81, 263, 0.2553, 0.3662}, {15, 148, 0.0624, 0.1605}, {0, 10, 0.0, 0.2775},
               {10, 10, 0.7225, 1.0}, {0, 0, 0.0, 1.0}};
  for (const Case& c : cases) {
    double low, high;
    wilson_interval(c.k, c.n, low, high);
    EXPECT_NEAR(low, c.low, 1e-4) << c.k << " of " << c.n;
    EXPECT_NEAR(high, c.high, 1e-4) << c.k << " of " << c.n;
  }
  // Linear interpolation between closest ranks, unsorted input.
  EXPECT_DOUBLE_EQ(percentile({4, 1, 3, 2}, 50), 2.5);
  EXPECT_DOUBLE_EQ(percentile({4, 1, 3, 2}, 90), 3.7);
  EXPECT_DOUBLE_EQ(percentile({7}, 90), 7.0);
  EXPECT_DOUBLE_EQ(percentile({}, 50), 0.0);
}

TEST(TrialResearch, CurveBinsAndRates) {
  EXPECT_EQ(curve_bin(0.0), 0);
  EXPECT_EQ(curve_bin(9.999), 0);
  EXPECT_EQ(curve_bin(10.0), 1);
  EXPECT_EQ(curve_bin(29.9), 2);
  EXPECT_EQ(curve_bin(30.0), 3);
  EXPECT_EQ(curve_bin(170.0), 3);
  EXPECT_EQ(curve_bin_label(0) + curve_bin_label(3), "0-1030+");
  std::vector<TrialRecord> records(3);
  records[0].start_degrees = 5;
  records[0].pose_good_color = true;
  records[1].start_degrees = 6;
  records[2].start_degrees = 35;
  records[2].pose_good_icp = true;
  const SuccessCurve curve = success_curve(records);
  EXPECT_EQ(curve.trials[0], 2);
  EXPECT_DOUBLE_EQ(curve.rate(1, 0), 0.5);  // icp_color: one of the two small starts
  EXPECT_DOUBLE_EQ(curve.rate(0, 3), 1.0);
  EXPECT_LT(curve.rate(0, 1), 0.0);  // no trials in 10-20
}

TEST(TrialResearch, StartPosesRoundTripExactly) {
  std::vector<PoseMatrix> starts = {translation(0.1, -0.2, 1.0 / 3.0) * rotation(0.3, 1, 2, 3),
                                    rotation(2.9, 0, 0, 1)};
  const std::string path = tmp_path("starts.txt");
  std::FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_TRUE(f);
  std::fputs(start_poses_text(starts).c_str(), f);
  std::fclose(f);
  std::vector<PoseMatrix> read;
  std::string why;
  ASSERT_TRUE(read_start_poses(path, 2, read, why)) << why;
  ASSERT_EQ(read.size(), 2u);
  EXPECT_TRUE(read[0] == starts[0] && read[1] == starts[1]);  // bit for bit
  EXPECT_FALSE(read_start_poses(path, 1, read, why));         // more than allowed
  EXPECT_NE(why.find("more than 1"), std::string::npos) << why;
}

}  // namespace

namespace {

// The batch's table, summary and curve go through the durable writer: a
// full disk (its temporary on /dev/full) fails the write with the reason,
// keeps the previous files and leaves no temporary.
TEST(TrialResearch, OutputsGoThroughTheDurableWriter) {
  const std::string dir = tmp_dir("research_" + std::to_string(getpid()));
  std::vector<TrialRow> rows(1);
  rows[0].trial = 1;
  ASSERT_TRUE(write_batch_outputs(dir + "/run", BatchDescription(), rows));
  const std::string csv = read_bytes(dir + "/run_trials.csv");
  set_temp_file_opener([](const std::string& folder, std::string& temp) {
    temp = folder + "/.icp_full.tmp";
    std::fclose(std::fopen(temp.c_str(), "wb"));
    return std::fopen("/dev/full", "wb");
  });
  rows.resize(3);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(write_batch_outputs(dir + "/run", BatchDescription(), rows));
  const std::string said = testing::internal::GetCapturedStderr();
  set_temp_file_opener(nullptr);
  EXPECT_NE(said.find("Cannot write " + dir + "/run_trials.csv: "), std::string::npos) << said;
  EXPECT_EQ(read_bytes(dir + "/run_trials.csv"), csv);
  EXPECT_FALSE(std::ifstream(dir + "/.icp_full.tmp").good());
}

}  // namespace
