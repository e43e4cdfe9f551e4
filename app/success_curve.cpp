#include "app/success_curve.h"

#include <cstdio>

#include "app/text_format.h"
#include "app/trial_batch.h"

namespace {

// Picture geometry, SVG user units.
const double kWidth = 560, kHeight = 320;
const double kLeft = 60, kRight = 540, kTop = 40, kBottom = 260;
const char* const kColours[] = {"#2659d9", "#d94d1a", "#2a9d3a", "#9a3ac9", "#c9a01a", "#555555"};


// Adds one trial's outcome of method `m` to the curve.
void add(SuccessCurve& curve, size_t m, int bin, bool recovered, bool good) {
  curve.methods[m].recovered[bin] += recovered ? 1 : 0;
  curve.methods[m].good_by_error[bin] += good ? 1 : 0;
}

}  // namespace

int curve_bin(double start_degrees) {
  int bin = 0;
  while (bin < kCurveBins - 1 && start_degrees >= kCurveBinEdges[bin]) bin++;
  return bin;
}

std::string curve_bin_label(int bin) {
  if (bin >= kCurveBins - 1) return std::to_string(int(kCurveBinEdges[kCurveBins - 2])) + "+";
  int low = bin == 0 ? 0 : int(kCurveBinEdges[bin - 1]);
  return std::to_string(low) + "-" + std::to_string(int(kCurveBinEdges[bin]));
}

double SuccessCurve::rate(size_t method, int bin) const {
  if (trials[bin] == 0) return -1.0;
  return double(methods[method].recovered[bin]) / trials[bin];
}

SuccessCurve success_curve(const std::vector<TrialRow>& rows) {
  SuccessCurve curve;
  if (!rows.empty())
    for (const MethodRun& run : rows.front().runs) curve.methods.push_back({run.method});
  for (const TrialRow& row : rows) {
    const int bin = curve_bin(row.start_rotation_deg);
    curve.trials[bin]++;
    for (size_t m = 0; m < curve.methods.size() && m < row.runs.size(); m++)
      add(curve, m, bin, row.runs[m].recovered, row.runs[m].good_by_error);
  }
  return curve;
}

SuccessCurve success_curve(const std::vector<TrialRecord>& records) {
  SuccessCurve curve;
  curve.methods = {{"icp"}, {"icp_color"}};
  for (const TrialRecord& r : records) {
    const int bin = curve_bin(r.start_degrees);
    curve.trials[bin]++;
    add(curve, 0, bin, r.pose_good_icp, trial_error_is_good(r.error_icp));
    add(curve, 1, bin, r.pose_good_color, trial_error_is_good(r.error_color));
  }
  return curve;
}

std::string success_curve_svg(const SuccessCurve& curve) {
  std::string s;
  append_format(s,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
         "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\" font-size=\"11\">\n"
         "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n"
         "<text x=\"%.0f\" y=\"20\" font-size=\"13\">Pose recuperada por giro inicial</text>\n",
         kWidth, kHeight, kWidth, kHeight, kLeft);
  // The rate axis: gridlines every 25 %.
  for (int p = 0; p <= 100; p += 25) {
    double y = kBottom - (kBottom - kTop) * p / 100.0;
    append_format(s, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>"
              "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%d%%</text>\n",
           kLeft, y, kRight, y, kLeft - 4, y + 4, p);
  }
  const double group = (kRight - kLeft) / kCurveBins;
  const size_t n = curve.methods.size();
  const double bar = n ? 0.8 * group / double(n) : 0.0;
  for (int b = 0; b < kCurveBins; b++) {
    const double x0 = kLeft + b * group + 0.1 * group;
    append_format(s, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s (%d)</text>\n",
           kLeft + (b + 0.5) * group, kBottom + 14, curve_bin_label(b).c_str(), curve.trials[b]);
    for (size_t m = 0; m < n; m++) {
      const double rate = curve.rate(m, b);
      if (rate < 0) continue;
      const double h = (kBottom - kTop) * rate, x = x0 + double(m) * bar;
      append_format(s, "<rect class=\"bar\" data-method=\"%s\" data-bin=\"%s\" data-rate=\"%.4f\" "
                "x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>"
                "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"9\">%.0f</text>\n",
             curve.methods[m].method.c_str(), curve_bin_label(b).c_str(), rate, x, kBottom - h,
             bar - 1, h, kColours[m % 6], x + bar / 2, kBottom - h - 2, 100 * rate);
    }
  }
  append_format(s, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#888\"/>\n", kLeft,
         kBottom, kRight, kBottom);
  append_format(s, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">Giro inicial (grados; ensayos)"
            "</text>\n", (kLeft + kRight) / 2, kBottom + 30);
  for (size_t m = 0; m < n; m++) {
    const double x = kLeft + 130.0 * double(m);
    append_format(s, "<rect x=\"%.1f\" y=\"%.1f\" width=\"10\" height=\"10\" fill=\"%s\"/>"
              "<text x=\"%.1f\" y=\"%.1f\">%s</text>\n",
           x, kHeight - 22, kColours[m % 6], x + 14, kHeight - 13, curve.methods[m].method.c_str());
  }
  s += "</svg>\n";
  return s;
}
