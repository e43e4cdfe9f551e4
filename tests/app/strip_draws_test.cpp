// The draw plan of a strip stream: which strips are drawn (malformed ones
// and a broken tail left out), where each starts in the stream, and how
// they fall into batches.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/strip_draws.h"

TEST(StripDraws, DrawsTheSoundStripsInBatches) {
  struct Case {
    const char* what;
    std::vector<int32_t> stream;
    size_t vertices, batch;
    std::vector<int32_t> counts;
    std::vector<size_t> starts, batch_ends;
  } cases[] = {
      {"one batch", {3, 0, 1, 2, 4, 1, 2, 3, 4}, 5, 100, {3, 4}, {1, 5}, {2}},
      {"a batch closes at its size", {3, 0, 1, 2, 4, 1, 2, 3, 4, 3, 2, 3, 4}, 5, 7,
       {3, 4, 3}, {1, 5, 10}, {2, 3}},
      {"every strip alone", {3, 0, 1, 2, 3, 2, 3, 4}, 5, 0, {3, 3}, {1, 5}, {1, 2}},
      {"a vertex out of range or negative", {3, 0, 1, 5, 3, 0, -1, 2, 3, 2, 3, 4}, 5, 4,
       {3}, {9}, {1}},
      {"an empty strip", {0, 3, 1, 2, 3}, 5, 100, {3}, {2}, {1}},
      {"a count past the end stops the stream", {3, 0, 1, 2, 9, 1, 2}, 5, 100, {3}, {1}, {1}},
      {"a negative count stops the stream", {3, 0, 1, 2, -1, 3, 0, 1, 2}, 5, 100, {3}, {1}, {1}},
      {"nothing sound", {2, 7, 8}, 5, 100, {}, {}, {}},
  };
  for (const Case& c : cases) {
    const StripDraws plan = plan_strip_draws(c.stream, c.vertices, c.batch);
    EXPECT_EQ(plan.counts, c.counts) << c.what;
    EXPECT_EQ(plan.starts, c.starts) << c.what;
    EXPECT_EQ(plan.batch_ends, c.batch_ends) << c.what;
  }
}
