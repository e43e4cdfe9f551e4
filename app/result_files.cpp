#include "app/result_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include <sys/stat.h>

#include "app/AppState.h"
#include "app/trial_paths.h"
#include "geometry/file_set.h"

namespace {

// Longest mesh path a summary may carry; longer lines are not paths this
// program wrote and are refused rather than cut.
const size_t kMaxPathLength = 4096;
// A summary is a few hundred bytes; reading stops well after that.
const size_t kMaxSummaryBytes = 64 * 1024;

void report_set_failure(const SetFailure& failure) {
  if (failure.opening) {
    std::fprintf(stderr, "fopen: %s\n", std::strerror(failure.error));
    std::fprintf(stderr, "Error opening %s for writing.\n", failure.path.c_str());
    // A reason beyond the system's word (a refused link) gets its own line.
    if (failure.why != std::strerror(failure.error))
      std::fprintf(stderr, "(%s)\n", failure.why.c_str());
  } else {
    std::fprintf(stderr, "Error writing %s: %s.\n", failure.path.c_str(), failure.why.c_str());
  }
}

// printf of one number, sized to fit: no field is ever cut.
void append_format(std::string& text, const char* format, double value) {
  int length = std::snprintf(nullptr, 0, format, value);
  if (length <= 0) return;
  size_t at = text.size();
  text.resize(at + static_cast<size_t>(length) + 1);
  std::snprintf(&text[at], static_cast<size_t>(length) + 1, format, value);
  text.resize(at + static_cast<size_t>(length));
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

const char* const kNotRunText = "sin ejecutar";

std::string summary_text(const Aligner& aligner, const std::string& summary_path,
                         bool color_ran) {
  std::string text = "Archivos alineados:\n\n";
  text += stored_mesh_path(aligner.slots[0]->file_name, summary_path) + "\n" +
          stored_mesh_path(aligner.slots[1]->file_name, summary_path) + "\n\n";
  text += "Error cometido en los test:\n\n";
  append_format(text, "Error ICP:\t\t%f\n", aligner.icp.error);
  if (color_ran) append_format(text, "Error ICP Color:\t%f\n", aligner.color.error);
  else text += std::string("Error ICP Color:\t") + kNotRunText + "\n";
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

bool write_result_files(Aligner& aligner, const ViewState& view, const std::string& base,
                        bool color_ran, const std::vector<FileContent>& extra) {
  // A failed save leaves the run starts for the next attempt's table.
  const std::vector<int32_t> starts_icp = aligner.icp.run_starts;
  const std::vector<int32_t> starts_color = aligner.color.run_starts;
  // A variant not run leaves its table columns empty, whatever an older
  // record holds.
  VariantRecord color_record;
  if (!color_ran) std::swap(color_record, aligner.color);
  std::string table = error_table_text(aligner);
  if (!color_ran) std::swap(color_record, aligner.color);
  // The summary goes last: a reader finds a new summary only beside new poses.
  std::vector<FileContent> files = {
      {base + "_PosInicial.xf", pose_to_string(view.initial_pose)},
      {base + "_PosICP.xf", pose_to_string(view.icp_pose)},
      {base + "_PosICPcolor.xf",
       color_ran ? pose_to_string(view.color_icp_pose) : std::string(kNotRunText) + "\n"},
      {base + "_error.xls", table},
  };
  files.insert(files.end(), extra.begin(), extra.end());
  files.push_back({base + ".vkl", summary_text(aligner, base + ".vkl", color_ran)});
  SetFailure failure;
  if (replace_file_set(files, failure)) return true;
  report_set_failure(failure);
  aligner.icp.run_starts = starts_icp;
  aligner.color.run_starts = starts_color;
  return false;
}

bool write_results(Aligner& aligner, const ViewState& view, std::string name, int trial,
                   const std::vector<FileContent>& extra) {
  return write_result_files(aligner, view, strip_extension(name) + "_" + std::to_string(trial),
                            true, extra);
}

namespace {

bool names_a_file(const std::string& path) {
  struct stat st;
  return !path.empty() && path.size() <= kMaxPathLength && stat(path.c_str(), &st) == 0 &&
         !S_ISDIR(st.st_mode);
}

// Line `index` (from 0) of `text` without blanks around it; "" past the end.
std::string trimmed_line(const std::string& text, int index) {
  size_t start = 0;
  for (int i = 0; i < index; i++) {
    start = text.find('\n', start);
    if (start == std::string::npos) return "";
    start++;
  }
  size_t end = std::min(text.find('\n', start), text.size());
  const char* blanks = " \t\r\f\v";
  size_t first = text.find_first_not_of(blanks, start);
  if (first == std::string::npos || first >= end) return "";
  size_t last = text.find_last_not_of(blanks, end - 1);
  return text.substr(first, last + 1 - first);
}

}  // namespace

bool read_trial_summary(const std::string& path, std::string& mesh1, std::string& mesh2) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string text;
  char chunk[4096];
  size_t got;
  while (text.size() < kMaxSummaryBytes && (got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    text.append(chunk, got);
  std::fclose(f);

  // As written, the paths are whole lines 3 and 4, so paths with blanks load;
  // each is relative to the summary's folder unless it is absolute.
  std::string line3 = resolve_stored_path(trimmed_line(text, 2), path);
  std::string line4 = resolve_stored_path(trimmed_line(text, 3), path);
  if (names_a_file(line3) && names_a_file(line4)) {
    mesh1 = line3;
    mesh2 = line4;
    return true;
  }
  // Otherwise words 3 and 4 (after the two heading words), however the lines
  // are laid out.
  std::istringstream in(text);
  std::string words[4];
  for (std::string& word : words)
    if (!(in >> word) || word.size() > kMaxPathLength) return false;
  mesh1 = resolve_stored_path(words[2], path);
  mesh2 = resolve_stored_path(words[3], path);
  return true;
}

bool read_result_pose(const std::string& path, PoseMatrix& pose, bool& ran) {
  ran = true;
  if (read_pose(path, pose)) return true;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char text[32] = {};
  size_t got = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  std::string content(text, got);
  while (!content.empty() && (content.back() == '\n' || content.back() == '\r')) content.pop_back();
  if (content != kNotRunText) return false;
  ran = false;
  return true;
}

namespace {

// The value of the summary line that starts with `label`, blanks around it
// trimmed; "" when there is no such line.
std::string labelled_value(const std::string& text, const std::string& label) {
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.find('\n', at), text.size());
    if (text.compare(at, label.size(), label) == 0) {
      std::string value = text.substr(at + label.size(), end - at - label.size());
      size_t first = value.find_first_not_of(" \t\r");
      size_t last = value.find_last_not_of(" \t\r");
      return first == std::string::npos ? "" : value.substr(first, last + 1 - first);
    }
    at = end + 1;
  }
  return "";
}

}  // namespace

bool read_summary_errors(const std::string& path, std::string& icp, std::string& color) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string text(kMaxSummaryBytes, '\0');
  text.resize(std::fread(&text[0], 1, text.size(), f));
  std::fclose(f);
  icp = labelled_value(text, "Error ICP:");
  color = labelled_value(text, "Error ICP Color:");
  const size_t kLongestValue = 40;  // a %f of any float, with room
  if (icp.size() > kLongestValue) icp.clear();
  if (color.size() > kLongestValue) color.clear();
  return !icp.empty() && !color.empty();
}
