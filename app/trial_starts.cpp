#include "app/trial_starts.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

// Orthonormality a start may miss by: a matrix written with nine digits by
// another program passes, a scaled or sheared one does not.
const double kRigidTolerance = 1e-5;

bool is_rigid(const PoseMatrix& m) {
  for (int a = 0; a < 3; a++)
    for (int b = 0; b < 3; b++) {
      double dot = 0.0;
      for (int k = 0; k < 3; k++) dot += m.at(k, a) * m.at(k, b);
      if (std::fabs(dot - (a == b ? 1.0 : 0.0)) > kRigidTolerance) return false;
    }
  const double det = m.at(0, 0) * (m.at(1, 1) * m.at(2, 2) - m.at(1, 2) * m.at(2, 1)) -
                     m.at(0, 1) * (m.at(1, 0) * m.at(2, 2) - m.at(1, 2) * m.at(2, 0)) +
                     m.at(0, 2) * (m.at(1, 0) * m.at(2, 1) - m.at(1, 1) * m.at(2, 0));
  return det > 0 && m.at(3, 0) == 0 && m.at(3, 1) == 0 && m.at(3, 2) == 0 && m.at(3, 3) == 1;
}

}  // namespace

std::string start_poses_text(const std::vector<PoseMatrix>& starts) {
  std::string text;
  char number[64];
  for (size_t t = 0; t < starts.size(); t++) {
    text += "# trial " + std::to_string(t + 1) + "\n";
    for (int r = 0; r < 4; r++) {
      for (int c = 0; c < 4; c++) {
        std::snprintf(number, sizeof number, c ? " %.17g" : "%.17g", starts[t].at(r, c));
        text += number;
      }
      text += "\n";
    }
  }
  return text;
}

bool read_start_poses(const std::string& path, size_t max_count, std::vector<PoseMatrix>& starts,
                      std::string& why) {
  std::ifstream in(path);
  if (!in) {
    why = "cannot read " + path;
    return false;
  }
  std::vector<PoseMatrix> read;
  PoseMatrix m;
  int filled = 0;  // numbers of the matrix being read
  std::string line;
  for (int line_number = 1; std::getline(in, line); line_number++) {
    line = line.substr(0, line.find('#'));
    for (char& c : line)
      if (c == ',') c = ' ';
    const char* p = line.c_str();
    for (;;) {
      while (*p == ' ' || *p == '\t' || *p == '\r') p++;
      if (!*p) break;
      char* end = nullptr;
      const double v = std::strtod(p, &end);
      if (end == p || (*end && *end != ' ' && *end != '\t' && *end != '\r') || !std::isfinite(v)) {
        why = path + ", line " + std::to_string(line_number) + ": not a finite number";
        return false;
      }
      p = end;
      m.at(filled / 4, filled % 4) = v;
      if (++filled < 16) continue;
      filled = 0;
      if (!is_rigid(m)) {
        why = path + ": matrix " + std::to_string(read.size() + 1) + " is not a rigid motion";
        return false;
      }
      if (read.size() == max_count) {
        why = path + ": more than " + std::to_string(max_count) + " matrices";
        return false;
      }
      read.push_back(m);
    }
  }
  if (filled != 0) {
    why = path + ": the numbers do not make whole 4x4 matrices (16 numbers each)";
    return false;
  }
  if (read.empty()) {
    why = path + ": no matrix";
    return false;
  }
  starts = std::move(read);
  return true;
}
