#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "app/result_files.h"
#include "app/trial_batch.h"
#include "support.h"

namespace {

std::string temp_dir() { return tmp_dir("result_files"); }

bool exists(const std::string& path) { return std::ifstream(path).good(); }

void fill_results(AppState& app) {
  Aligner& a = *app.aligner;
  a.slots[0]->file_name = "/scans/first scan.ply";
  a.slots[1]->file_name = "/scans/second.ply";
  a.icp.error = 0.5f;
  a.color.error = 0.000125f;
  a.icp.history = {3.0f, 2.0f, 1.0f};
  a.color.history = {4.0f, 3.5f, 3.25f, 3.125f, 3.0f};
  a.icp.run_starts = {0};
  a.color.run_starts = {0};
  app.view_state->initial_pose = translation(1, 2, 3);
  app.view_state->icp_pose = translation(0.5, 0, 0);
  app.view_state->color_icp_pose = rotation(0.25, 0, 0, 1);
}

}  // namespace

TEST(ResultFiles, SummaryAndTableAreByteExact) {
  AppState app;
  fill_results(app);
  EXPECT_EQ(summary_text(app),
            "Archivos alineados:\n\n/scans/first scan.ply\n/scans/second.ply\n\n"
            "Error cometido en los test:\n\nError ICP:\t\t0.500000\nError ICP Color:\t0.000125\n");

  std::string table = error_table_text(*app.aligner);
  // Header in Windows-1252: the accented letter is the single byte 0xF3.
  std::string header =
      "Iteraci\xF3n\tError ICP:\tIteraciones ICP:\tError ICP_Color:\tIteraciones "
      "ICP_Color:\tError Real ICP:\tError Real ICP_Color:\n";
  ASSERT_EQ(table.compare(0, header.size(), header), 0);
  // Rows = the longer history; shorter columns and the real-error columns stay
  // empty, so every row has exactly six tabs.
  EXPECT_EQ(table.substr(header.size()),
            "0\t3.000000\t\t4.000000\t\t\t\n"
            "1\t2.000000\t\t3.500000\t\t\t\n"
            "2\t1.000000\t\t3.250000\t\t\t\n"
            "3\t\t\t3.125000\t\t\t\n"
            "4\t\t\t3.000000\t\t\t\n");
  // The first run start of each list was consumed.
  EXPECT_TRUE(app.aligner->icp.run_starts.empty());
  EXPECT_TRUE(app.aligner->color.run_starts.empty());
}

TEST(ResultFiles, LaterRunStartsMarkTheirRows) {
  AppState app;
  fill_results(app);
  app.aligner->icp.run_starts = {0, 2};  // a second run began after two steps
  std::string table = error_table_text(*app.aligner);
  EXPECT_NE(table.find("\n1\t2.000000\t2.000000\t3.500000\t\t\t\n"), std::string::npos) << table;
  EXPECT_TRUE(app.aligner->icp.run_starts.empty());
}

TEST(ResultFiles, WritesTheFiveFilesWithTrialNumbers) {
  AppState app;
  fill_results(app);
  std::string dir = temp_dir();
  ASSERT_TRUE(write_results(app, dir + "/run.txt", 7));
  for (const char* suffix : {".vkl", "_PosInicial.xf", "_PosICP.xf", "_PosICPcolor.xf", "_error.xls"})
    EXPECT_TRUE(exists(dir + "/run_7" + suffix)) << suffix;
  EXPECT_EQ(read_bytes(dir + "/run_7_PosInicial.xf"), "1 0 0 1\n0 1 0 2\n0 0 1 3\n0 0 0 1\n");
  EXPECT_EQ(read_bytes(dir + "/run_7.vkl"), summary_text(app));

  // A base without a dot is used whole.
  ASSERT_TRUE(write_results(app, dir + "/plain", 1));
  EXPECT_TRUE(exists(dir + "/plain_1.vkl"));
}

TEST(ResultFiles, FailedSaveKeepsThePreviousFiles) {
  AppState app;
  fill_results(app);
  std::string dir = temp_dir();
  ASSERT_TRUE(write_result_files(app, dir + "/keep"));
  std::string before = read_bytes(dir + "/keep.vkl");
  // A summary that cannot be created stops the set and reports failure.
  EXPECT_FALSE(write_result_files(app, "/nonexistent-folder/keep"));
  EXPECT_EQ(read_bytes(dir + "/keep.vkl"), before);
}

TEST(TrialSummary, ReadsWholePathLinesAndRejectsShortFiles) {
  AppState app;
  fill_results(app);
  std::string dir = temp_dir();
  ASSERT_TRUE(write_result_files(app, dir + "/summary"));
  std::string mesh1, mesh2;
  ASSERT_TRUE(read_trial_summary(dir + "/summary.vkl", mesh1, mesh2));
  EXPECT_EQ(mesh1, "/scans/first scan.ply");  // a blank in the path survives
  EXPECT_EQ(mesh2, "/scans/second.ply");

  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
    return dir + "/" + name;
  };
  EXPECT_FALSE(read_trial_summary(write("three.vkl", "Archivos alineados:\n\n/a.ply\n"), mesh1, mesh2));
  EXPECT_FALSE(read_trial_summary(write("blank.vkl", "Archivos alineados:\n\n/a.ply\n\n"), mesh1, mesh2));
  EXPECT_FALSE(read_trial_summary(write("empty.vkl", ""), mesh1, mesh2));
  EXPECT_FALSE(read_trial_summary(dir + "/missing.vkl", mesh1, mesh2));
  // Paths far longer than any buffer are refused, not cut.
  std::string huge(100000, 'x');
  EXPECT_FALSE(read_trial_summary(write("huge.vkl", "A b\n\n" + huge + "\n/b.ply\n"), mesh1, mesh2));
  // CR LF line ends are accepted.
  ASSERT_TRUE(read_trial_summary(write("crlf.vkl", "Archivos alineados:\r\n\r\n/a.ply\r\n/b.ply\r\n"), mesh1, mesh2));
  EXPECT_EQ(mesh1, "/a.ply");
  EXPECT_EQ(mesh2, "/b.ply");
}

TEST(TrialBatch, GeneratorAndGoodErrorRule) {
  // The batch's generator seeded with 1 gives the classic sequence.
  TrialRng rng(1);
  const int expected[] = {41, 18467, 6334, 26500, 19169};
  for (int value : expected) EXPECT_EQ(rng.next(), value);

  EXPECT_TRUE(trial_error_is_good(0.000999f));
  EXPECT_FALSE(trial_error_is_good(0.001f));  // as float32 slightly above 0.001
  EXPECT_TRUE(trial_error_is_good(0.0f));
  EXPECT_FALSE(trial_error_is_good(999999.0f));
  EXPECT_FALSE(trial_error_is_good(std::nanf("")));
  EXPECT_FALSE(trial_error_is_good(3e38f));
}
