#include "registration/color_histogram.h"

#include <algorithm>

#include "registration/thin_cloud.h"

void append_color_histograms(const MatchCloud& cloud, double radius, int bins, float scale,
                             MatchFeatures& features) {
  const size_t count = cloud.points.size();
  if (cloud.colors.size() != count || bins <= 0 || count == 0) return;
  const size_t old_size = size_t(features.size), new_size = old_size + 3 * size_t(bins);
  std::vector<float> values(count * new_size, 0.0f);
  PointGrid grid(cloud.points, radius);
  std::vector<float> histogram(3 * size_t(bins));
  for (size_t i = 0; i < count; i++) {
    std::fill(histogram.begin(), histogram.end(), 0.0f);
    int neighbours = 0;
    grid.for_each_within(cloud.points[i], radius, [&](int32_t j) {
      neighbours++;
      for (int k = 0; k < 3; k++) {
        float c = std::min(std::max(cloud.colors[size_t(j)][k], 0.0f), 1.0f);
        int bin = std::min(int(c * float(bins)), bins - 1);
        histogram[size_t(k * bins + bin)] += 1.0f;
      }
    });
    float* row = &values[i * new_size];
    if (old_size) std::copy_n(&features.values[i * old_size], old_size, row);
    for (size_t k = 0; k < histogram.size(); k++)
      row[old_size + k] = neighbours ? scale * histogram[k] / float(neighbours) : 0.0f;
  }
  features.values.swap(values);
  features.size = int(new_size);
}
