#include "app/result_files.h"

#include <algorithm>
#include <cerrno>
#include <sstream>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Longest mesh path a summary may carry; longer lines are not paths this
// program wrote and are refused rather than cut.
const size_t kMaxPathLength = 4096;
// A summary is a few hundred bytes; reading stops well after that.
const size_t kMaxSummaryBytes = 64 * 1024;

void report_open_failure(const std::string& path) {
  std::perror("fopen");
  std::fprintf(stderr, "Error opening %s for writing.\n", path.c_str());
}

// Temporary name beside `path`, unique to this process.
std::string temp_name(const std::string& path) {
  return path + ".tmp" + std::to_string(static_cast<long>(getpid()));
}

// Writes `text` to `path` in binary mode through a temporary file renamed into
// place. False (after the open-failure report when the file cannot be created)
// on any failure; the previous file at `path`, if any, is then untouched.
bool write_file_atomically(const std::string& path, const std::string& text) {
  std::string temp = temp_name(path);
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    report_open_failure(path);
    return false;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  if (ok && std::rename(temp.c_str(), path.c_str()) == 0) return true;
  std::fprintf(stderr, "Error writing %s: %s.\n", path.c_str(), std::strerror(errno));
  std::remove(temp.c_str());
  return false;
}

// write_pose through a temporary file; failures are skipped silently.
void write_pose_atomically(const PoseMatrix& pose, const std::string& path) {
  std::string temp = temp_name(path);
  if (write_pose(pose, temp) && std::rename(temp.c_str(), path.c_str()) == 0) return;
  std::remove(temp.c_str());
}

void append_format(std::string& text, const char* format, double value) {
  char cell[64];
  std::snprintf(cell, sizeof cell, format, value);
  text += cell;
}

// Cell of a run-start column: the history value of the row whose index + 1
// equals the first pending start, which is then consumed.
void append_run_start_cell(std::string& text, const std::vector<float>& history,
                           std::vector<int32_t>& starts, size_t& next_start, size_t row) {
  if (next_start < starts.size() && row + 1 == static_cast<size_t>(starts[next_start])) {
    next_start++;
    if (row < history.size()) append_format(text, "%f", history[row]);
  }
}

void append_value_cell(std::string& text, const std::vector<float>& values, size_t row) {
  if (row < values.size()) append_format(text, "%f", values[row]);
}

}  // namespace

std::string summary_text(const AppState& app) {
  const Aligner& aligner = *app.aligner;
  std::string text = "Archivos alineados:\n\n";
  text += aligner.slots[0]->file_name + "\n" + aligner.slots[1]->file_name + "\n\n";
  text += "Error cometido en los test:\n\n";
  append_format(text, "Error ICP:\t\t%f\n", aligner.icp.error);
  append_format(text, "Error ICP Color:\t%f\n", aligner.color.error);
  return text;
}

std::string error_table_text(Aligner& aligner) {
  // The first start of each list is the start of the call's first run, which
  // needs no mark; later entries mark the starts of further runs.
  if (!aligner.icp.run_starts.empty()) aligner.icp.run_starts.erase(aligner.icp.run_starts.begin());
  if (!aligner.color.run_starts.empty())
    aligner.color.run_starts.erase(aligner.color.run_starts.begin());

  std::string text =
      "Iteraci\xF3n\tError ICP:\tIteraciones ICP:\tError ICP_Color:\tIteraciones "
      "ICP_Color:\tError Real ICP:\tError Real ICP_Color:\n";
  size_t rows = std::max(aligner.icp.history.size(), aligner.color.history.size());
  size_t next_icp = 0, next_color = 0;
  for (size_t k = 0; k < rows; k++) {
    text += std::to_string(k);
    text += '\t';
    append_value_cell(text, aligner.icp.history, k);
    text += '\t';
    append_run_start_cell(text, aligner.icp.history, aligner.icp.run_starts, next_icp, k);
    text += '\t';
    append_value_cell(text, aligner.color.history, k);
    text += '\t';
    append_run_start_cell(text, aligner.color.history, aligner.color.run_starts, next_color, k);
    text += '\t';
    append_value_cell(text, aligner.icp.real_error, k);
    text += '\t';
    append_value_cell(text, aligner.color.real_error, k);
    text += '\n';
  }
  aligner.icp.run_starts.erase(aligner.icp.run_starts.begin(),
                               aligner.icp.run_starts.begin() + next_icp);
  aligner.color.run_starts.erase(aligner.color.run_starts.begin(),
                                 aligner.color.run_starts.begin() + next_color);
  return text;
}

bool write_result_files(AppState& app, const std::string& base) {
  if (!write_file_atomically(base + ".vkl", summary_text(app))) return false;
  const ViewState& view = *app.view_state;
  write_pose_atomically(view.initial_pose, base + "_PosInicial.xf");
  write_pose_atomically(view.icp_pose, base + "_PosICP.xf");
  write_pose_atomically(view.color_icp_pose, base + "_PosICPcolor.xf");
  return write_file_atomically(base + "_error.xls", error_table_text(*app.aligner));
}

bool write_results(AppState& app, std::string name, int trial) {
  return write_result_files(app, strip_extension(name) + "_" + std::to_string(trial));
}

bool read_trial_summary(const std::string& path, std::string& mesh1, std::string& mesh2) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string text;
  char chunk[4096];
  size_t got;
  while (text.size() < kMaxSummaryBytes && (got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    text.append(chunk, got);
  std::fclose(f);

  std::vector<std::string> lines;
  size_t start = 0;
  while (lines.size() < 4 && start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  if (lines.size() < 4) return false;
  // Words 1 and 2 are the heading; the paths are whole lines 3 and 4.
  std::istringstream heading(lines[0] + " " + lines[1]);
  std::string word;
  int heading_words = 0;
  while (heading_words < 2 && heading >> word) heading_words++;
  if (heading_words < 2) return false;
  for (int i = 2; i < 4; i++)
    if (lines[i].find_first_not_of(" \t") == std::string::npos || lines[i].size() > kMaxPathLength)
      return false;
  mesh1 = lines[2];
  mesh2 = lines[3];
  return true;
}
