// The thread pool's guarantees: every index runs exactly once, whatever the
// thread count, loop length and block size; ranges cover [0, n) in order; a
// nested loop runs on the thread that started it; and loops that follow each
// other closely never mix, even when a helper wakes up late for a loop that
// has moved on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "geometry/parallel.h"

namespace {

// Restores the environment's thread count when a test ends.
struct ThreadCount {
  explicit ThreadCount(int n) { set_thread_count(n); }
  ~ThreadCount() { set_thread_count(0); }
};

// How many times each index of [0, n) was visited: all 1 is the only good answer.
bool each_once(const std::vector<std::atomic<int>>& hits) {
  return std::all_of(hits.begin(), hits.end(), [](const std::atomic<int>& h) { return h == 1; });
}

}  // namespace

TEST(Parallel, EveryIndexOnceAndRangesInOrder) {
  for (int threads : {1, 2, 3, 8})
    for (size_t n : {0, 1, 7, 1000, 100003})
      for (size_t min_per_thread : {0, 1, 64}) {
        SCOPED_TRACE(testing::Message() << threads << " threads, n " << n << ", min "
                                        << min_per_thread);
        ThreadCount count(threads);
        std::vector<std::atomic<int>> hits(n);
        parallel_for(n, min_per_thread, [&](size_t i) { hits[i]++; });
        EXPECT_TRUE(each_once(hits));

        std::mutex mutex;
        std::vector<std::pair<size_t, size_t>> ranges;
        parallel_ranges(n, min_per_thread, [&](size_t begin, size_t end) {
          std::lock_guard<std::mutex> lock(mutex);
          ranges.emplace_back(begin, end);
        });
        std::sort(ranges.begin(), ranges.end());
        ASSERT_LE(ranges.size(), size_t(threads));
        size_t next = 0;
        for (const auto& r : ranges) {
          EXPECT_EQ(r.first, next);
          EXPECT_LE(r.first, r.second);
          next = r.second;
        }
        EXPECT_EQ(next, n);
      }
}

TEST(Parallel, NestedLoopsRunOnTheCallingThread) {
  ThreadCount count(4);
  const size_t n = 64;
  std::vector<std::atomic<int>> hits(n * n);
  std::atomic<int> moved{0};
  parallel_for(n, 1, [&](size_t i) {
    const std::thread::id outer = std::this_thread::get_id();
    parallel_for(n, 1, [&](size_t j) {
      if (std::this_thread::get_id() != outer) moved++;
      hits[i * n + j]++;
    });
  });
  EXPECT_TRUE(each_once(hits));
  EXPECT_EQ(moved, 0);
}

// More threads than cores and a piece that stalls: helpers start late, some
// only after their loop has ended. Each loop counts into its own table, so a
// helper that ran a piece of a finished loop, or ran one twice, shows.
TEST(Parallel, LateHelpersNeverRunAPieceOfAnotherLoop) {
  ThreadCount count(8);
  for (int loop = 0; loop < 300; loop++) {
    std::vector<std::atomic<int>> hits(33);
    parallel_for(hits.size(), 1, [&](size_t i) {
      if (loop % 50 == 0 && i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      hits[i]++;
    });
    ASSERT_TRUE(each_once(hits)) << "loop " << loop;
  }
}
