// The run preview's choice of vertices: bounded, in order, one from each
// equal run of the index range, the same on every call, and without the
// stripes a plain stride draws on a grid scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/run_preview.h"

TEST(RunPreview, OnePickPerRunEvenAndRepeatable) {
  struct Case {
    size_t n, max;
  } cases[] = {{0, 10},      {7, 10},           {10, 10},        {11, 10},
               {1000, 999}, {1000000, 100000}, {999983, 80000}};
  for (const Case& c : cases) {
    const std::vector<int32_t> picks = preview_indices(c.n, c.max);
    ASSERT_EQ(picks.size(), std::min(c.n, c.max)) << c.n << " of " << c.max;
    EXPECT_EQ(picks, preview_indices(c.n, c.max)) << "not repeatable for " << c.n;
    // Pick k lies in run k, [k n / m, (k + 1) n / m): so the picks ascend,
    // stay below n and cover the range evenly. At most max: every vertex.
    const size_t m = picks.size();
    std::vector<size_t> offset_counts(c.n > c.max ? c.n / c.max + 1 : 1);
    for (size_t k = 0; k < m; k++) {
      const size_t begin = k * c.n / m, end = (k + 1) * c.n / m;
      ASSERT_TRUE(size_t(picks[k]) >= begin && size_t(picks[k]) < end)
          << "pick " << k << " of " << c.n << " is " << picks[k];
      offset_counts[size_t(picks[k]) - begin]++;
    }
    // On a 1000 x 1000 grid a stride of 10 would keep ten whole columns of
    // every hundred; here each offset within a run is taken about equally.
    if (c.n == 1000000) {
      offset_counts.resize(10);  // runs of exactly ten
      for (size_t count : offset_counts) EXPECT_NEAR(double(count), m / 10.0, m / 50.0);
    }
  }
}
