// The one place that decides how loops run on several cores.
//
// Every parallel loop of the engine goes through `parallel_for` or
// `parallel_ranges`. Their bodies must write only to slots that belong to
// their own index (or index range) and read only data no other iteration
// writes, so results never depend on the number of threads: sums that must
// be identical to a sequential loop are gathered per output element in the
// sequential order, never split into partial sums.
//
// The thread count is `ICP_THREADS` when it holds a whole number from 1 to
// kMaxThreads, otherwise the number of cores. Built without OpenMP, every
// loop runs on the calling thread.
#pragma once

#include <cstddef>

// Upper bound of ICP_THREADS: a larger value is ignored like a malformed one.
constexpr int kMaxThreads = 256;

// Threads a parallel loop uses (at least 1), read from the environment once.
int thread_count();
// Overrides the thread count for the loops that start afterwards (clamped to
// 1 .. kMaxThreads); 0 returns to the environment's value. Not to be called
// while a parallel loop runs.
void set_thread_count(int n);

// Thread count for a loop of `n` cheap iterations: 1 below `min_per_thread`
// iterations per thread, where starting threads costs more than it saves.
inline int threads_for(size_t n, size_t min_per_thread) {
  int t = thread_count();
  while (t > 1 && n < size_t(t) * min_per_thread) t--;
  return t;
}

// Calls body(i) for every i in [0, n), spread over the threads in contiguous
// blocks. Loops shorter than `min_per_thread` iterations per thread run with
// fewer threads (down to one, inline).
template <typename Body>
void parallel_for(size_t n, size_t min_per_thread, const Body& body) {
  const int threads = threads_for(n, min_per_thread);
  const long count = long(n);
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1)
  for (long i = 0; i < count; i++) body(size_t(i));
}

// Splits [0, n) into one contiguous range per thread and calls
// body(begin, end) once per range, each on its own thread. Range k always
// precedes range k + 1, and the split depends only on n and the thread count.
template <typename Body>
void parallel_ranges(size_t n, size_t min_per_thread, const Body& body) {
  const int threads = threads_for(n, min_per_thread);
#pragma omp parallel for schedule(static, 1) num_threads(threads) if (threads > 1)
  for (int t = 0; t < threads; t++) body(n * size_t(t) / size_t(threads), n * size_t(t + 1) / size_t(threads));
}
