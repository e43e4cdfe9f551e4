#include "app/trial_basin.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/text_format.h"
#include "geometry/durable_write.h"

namespace {

const double kPi = 3.141592653589793;

// Picture geometry, SVG user units: two plot boxes side by side.
const double kWidth = 760, kHeight = 360;
const double kTop = 46, kBottom = 300;  // plot boxes, y from the top
const double kLeft[2] = {70, 430};
const double kBoxWidth = 300;
const char* const kIcpColour = "#2659d9";
const char* const kColorIcpColour = "#d94d1a";

double image_distance(const PoseMatrix& a, const PoseMatrix& b, const point& c) {
  double d2 = 0.0;
  for (int r = 0; r < 3; r++) {
    double pa = a.at(r, 3), pb = b.at(r, 3);
    for (int k = 0; k < 3; k++) {
      pa += a.at(r, k) * c[k];
      pb += b.at(r, k) * c[k];
    }
    d2 += (pa - pb) * (pa - pb);
  }
  return std::sqrt(d2);
}

// Screen position of a mark in panel `p`.
void mark_position(const BasinAxes& axes, const TrialRecord& r, float error, int p, double& x,
                   double& y) {
  x = kLeft[p] + kBoxWidth * axes.start_position(r, p == 1);
  y = kBottom - (kBottom - kTop) * axes.error_position(error);
}

// A start that can set the end of its axis.
bool on_axis(double start) { return std::isfinite(start) && start <= kBasinFarthestStart; }

int count_good(const std::vector<TrialRecord>& records, bool color) {
  int n = 0;
  for (const TrialRecord& r : records) n += (color ? r.pose_good_color : r.pose_good_icp) ? 1 : 0;
  return n;
}

}  // namespace

PoseOffset pose_offset(const PoseMatrix& reference, const PoseMatrix& pose, const point& centre) {
  // The relative rotation R = R_pose R_ref^T. Its angle comes from atan2 of
  // the skew part (2 sin a) against the trace (1 + 2 cos a): unlike the
  // arccosine of the trace alone, this stays accurate near 0, where the
  // rounding of a nearly orthogonal matrix would otherwise read as a turn of
  // a few hundredths of a degree.
  double rel[3][3];
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++) {
      rel[r][c] = 0.0;
      for (int k = 0; k < 3; k++) rel[r][c] += pose.at(r, k) * reference.at(c, k);
    }
  const double trace = rel[0][0] + rel[1][1] + rel[2][2];
  const double sx = rel[2][1] - rel[1][2], sy = rel[0][2] - rel[2][0], sz = rel[1][0] - rel[0][1];
  PoseOffset o;
  o.degrees = std::atan2(0.5 * std::sqrt(sx * sx + sy * sy + sz * sz), 0.5 * (trace - 1.0)) *
              180.0 / kPi;
  o.shift = image_distance(reference, pose, centre);
  return o;
}

bool pose_recovered(const PoseOffset& offset, double diagonal, const PoseRule& rule) {
  return offset.degrees < rule.max_degrees && offset.shift < rule.max_shift * diagonal;
}

double BasinAxes::error_position(float error) const {
  if (!std::isfinite(error)) return 1.0;
  if (!(error > 0.0f)) return 0.0;
  double t = (std::log10(double(error)) - low_decade) / double(high_decade - low_decade);
  return std::min(std::max(t, 0.0), 1.0);
}

double BasinAxes::start_position(const TrialRecord& record, bool by_shift) const {
  double start = by_shift ? record.start_shift : record.start_degrees;
  if (!on_axis(start)) return 1.0;
  double t = start / (by_shift ? max_shift : max_degrees);
  return std::min(std::max(t, 0.0), 1.0);
}

BasinAxes basin_axes(const std::vector<TrialRecord>& records) {
  BasinAxes axes;
  double low = std::log10(double(kTrialGoodError)), high = low;
  for (const TrialRecord& r : records) {
    if (on_axis(r.start_degrees)) axes.max_degrees = std::max(axes.max_degrees, r.start_degrees);
    if (on_axis(r.start_shift)) axes.max_shift = std::max(axes.max_shift, r.start_shift);
    for (float e : {r.error_icp, r.error_color})
      if (std::isfinite(e) && e > 0.0f) {
        low = std::min(low, std::log10(double(e)));
        high = std::max(high, std::log10(double(e)));
      }
  }
  // Round numbers at the ends of the start axes: whole 5 degrees, 0.05 diagonals.
  axes.max_degrees = 5.0 * std::ceil(axes.max_degrees / 5.0);
  axes.max_shift = 0.05 * std::ceil(axes.max_shift / 0.05 - 1e-9);
  axes.low_decade = int(std::floor(low));
  axes.high_decade = std::max(int(std::ceil(high)), axes.low_decade + 1);
  return axes;
}

double basin_tick_step(double axis_max, bool shift_axis) {
  double step = shift_axis ? (axis_max > 0.25 ? 0.1 : 0.05) : (axis_max > 25 ? 10.0 : 5.0);
  if (axis_max / step <= 20.0) return step;
  const double power = std::pow(10.0, std::floor(std::log10(axis_max / 10.0)));
  for (double m : {1.0, 2.0, 5.0})
    if (axis_max / (m * power) <= 10.0) return m * power;
  return 10.0 * power;
}

std::string basin_svg(const std::vector<TrialRecord>& records) {
  const BasinAxes axes = basin_axes(records);
  const int n = int(records.size());
  std::string s;
  append_format(s,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
         "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\" font-size=\"11\">\n"
         "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
         kWidth, kHeight, kWidth, kHeight);
  append_format(s,
         "<text x=\"%.0f\" y=\"18\" font-size=\"13\">Cuenca de convergencia: %d ensayos; pose "
         "recuperada ICP %d, ICP_Color %d</text>\n",
         kLeft[0], n, count_good(records, false), count_good(records, true));
  const char* x_labels[2] = {"Giro inicial (grados)",
                             "Desplazamiento inicial (fracci&#243;n de la diagonal)"};
  const double x_max[2] = {axes.max_degrees, axes.max_shift};
  for (int p = 0; p < 2; p++) {
    const double left = kLeft[p], right = left + kBoxWidth;
    append_format(s, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" "
              "stroke=\"#888\"/>\n", left, kTop, kBoxWidth, kBottom - kTop);
    for (int d = axes.low_decade; d <= axes.high_decade; d++) {
      double y = kBottom - (kBottom - kTop) * (d - axes.low_decade) /
                               double(axes.high_decade - axes.low_decade);
      append_format(s, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>\n",
             left, y, right, y);
      append_format(s, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">1e%d</text>\n", left - 4,
             y + 4, d);
    }
    const double step = basin_tick_step(x_max[p], p == 1);
    for (int k = 0; k * step <= x_max[p] * (1 + 1e-9); k++) {
      double x = left + kBoxWidth * k * step / x_max[p];
      append_format(s, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%g</text>\n", x,
             kBottom + 14, k * step);
    }
    append_format(s, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>\n",
           left + kBoxWidth / 2, kBottom + 30, x_labels[p]);
    double y_good = kBottom - (kBottom - kTop) * axes.error_position(kTrialGoodError);
    append_format(s, "<line class=\"threshold\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" "
              "stroke=\"#2a2\" stroke-dasharray=\"5,3\"/>\n", left, y_good, right, y_good);
  }
  append_format(s, "<text x=\"14\" y=\"%.1f\" transform=\"rotate(-90 14 %.1f)\" "
            "text-anchor=\"middle\">Error final (escala log)</text>\n",
         (kTop + kBottom) / 2, (kTop + kBottom) / 2);

  for (int i = 0; i < n; i++) {
    const TrialRecord& r = records[size_t(i)];
    for (int v = 0; v < 2; v++) {
      float error = v == 0 ? r.error_icp : r.error_color;
      append_format(s, "<g class=\"mark\" data-trial=\"%d\" data-variant=\"%s\" fill=\"%s\">"
                "<title>Ensayo %d %s: error %g, giro %.2f, desplazamiento %.4f</title>",
             i + 1, v == 0 ? "icp" : "icp_color", v == 0 ? kIcpColour : kColorIcpColour, i + 1,
             v == 0 ? "ICP" : "ICP_Color", double(error), r.start_degrees, r.start_shift);
      for (int p = 0; p < 2; p++) {
        double x, y;
        mark_position(axes, r, error, p, x, y);
        // The colour variant is drawn as a square so coincident marks stay visible.
        if (v == 0)
          append_format(s, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3.5\" fill-opacity=\"0.7\"/>", x, y);
        else
          append_format(s, "<rect x=\"%.1f\" y=\"%.1f\" width=\"6\" height=\"6\" "
                    "fill-opacity=\"0.7\"/>", x - 3, y - 3);
      }
      s += "</g>\n";
    }
  }

  const double ly = kHeight - 14;
  append_format(s, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3.5\" fill=\"%s\"/>"
            "<text x=\"%.1f\" y=\"%.1f\">ICP</text>\n",
         kLeft[0], ly - 4, kIcpColour, kLeft[0] + 8, ly);
  append_format(s, "<rect x=\"%.1f\" y=\"%.1f\" width=\"6\" height=\"6\" fill=\"%s\"/>"
            "<text x=\"%.1f\" y=\"%.1f\">ICP_Color</text>\n",
         kLeft[0] + 60, ly - 7, kColorIcpColour, kLeft[0] + 70, ly);
  append_format(s, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#2a2\" "
            "stroke-dasharray=\"5,3\"/><text x=\"%.1f\" y=\"%.1f\">bien: error &lt; 0.001"
            "</text>\n",
         kLeft[0] + 150, ly - 4, kLeft[0] + 180, ly - 4, kLeft[0] + 186, ly);
  s += "</svg>\n";
  return s;
}

bool write_basin_svg(const std::string& path, const std::vector<TrialRecord>& records) {
  std::string why;
  if (write_file_durably(path, basin_svg(records), why)) return true;
  std::fprintf(stderr, "Cannot write the basin picture %s: %s.\n", path.c_str(), why.c_str());
  return false;
}

std::string pose_outcome_line(const std::vector<TrialRecord>& records, const PoseRule& rule) {
  std::string s;
  const int n = int(records.size());
  append_format(s, "Pose recuperada (< %g grado%s, < %g%% diagonal): ICP %d de %d, ICP_Color %d de %d\n",
         rule.max_degrees, rule.max_degrees == 1.0 ? "" : "s", 100.0 * rule.max_shift,
         count_good(records, false), n, count_good(records, true), n);
  return s;
}
