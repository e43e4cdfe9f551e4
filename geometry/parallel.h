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
// kMaxThreads, otherwise the number of cores. The calling thread always
// works too, and it never waits for a helper thread that has not started:
// helpers take pieces of a loop as they get the processor. When the caller
// nevertheless waits long for a helper that the system interrupted while it
// held a piece (a machine busy with other work), loops run on the calling
// thread alone for a while, so a busy machine costs about what one thread
// costs.
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

// While one lives, every parallel loop started on the constructing thread
// runs on that thread alone, as a loop nested in a piece does. For threads
// that are themselves one of several running side by side (the workers of a
// trial batch): their loops then neither queue for the shared pool nor
// compete with the other workers for the cores. Lives and dies on one thread.
class LoopsInlineOnThisThread {
 public:
  LoopsInlineOnThisThread();
  ~LoopsInlineOnThisThread();
  LoopsInlineOnThisThread(const LoopsInlineOnThisThread&) = delete;
  LoopsInlineOnThisThread& operator=(const LoopsInlineOnThisThread&) = delete;

 private:
  bool was_inline_;
};

// Calls run(context, k) once for every piece k in [0, pieces), spread over
// the threads; returns when every piece has run. Pieces run concurrently and
// in any order. Nested calls (from inside a piece) run on the calling thread.
void run_pieces(size_t pieces, void (*run)(void* context, size_t piece), void* context);

// Calls body(i) for every i in [0, n), in contiguous blocks of at least
// `min_per_thread` indices (a loop shorter than that runs inline).
template <typename Body>
void parallel_for(size_t n, size_t min_per_thread, const Body& body) {
  if (min_per_thread < 1) min_per_thread = 1;
  const size_t threads = size_t(thread_count());
  if (threads <= 1 || n < 2 * min_per_thread) {
    for (size_t i = 0; i < n; i++) body(i);
    return;
  }
  // A few blocks per thread, so that a thread that starts late or is
  // interrupted leaves its share to the others.
  size_t blocks = n / min_per_thread;
  if (blocks > 4 * threads) blocks = 4 * threads;
  struct Context {
    const Body* body;
    size_t n, blocks;
  } context{&body, n, blocks};
  run_pieces(blocks, [](void* c, size_t k) {
    const Context& ctx = *static_cast<const Context*>(c);
    const size_t end = ctx.n * (k + 1) / ctx.blocks;
    for (size_t i = ctx.n * k / ctx.blocks; i < end; i++) (*ctx.body)(i);
  }, &context);
}

// Splits [0, n) into one contiguous range per thread (fewer when a range
// would hold less than `min_per_thread`) and calls body(begin, end) once per
// range. The ranges cover [0, n) in order.
template <typename Body>
void parallel_ranges(size_t n, size_t min_per_thread, const Body& body) {
  if (min_per_thread < 1) min_per_thread = 1;
  size_t ranges = size_t(thread_count());
  while (ranges > 1 && n < ranges * min_per_thread) ranges--;
  if (ranges <= 1) {
    body(size_t(0), n);
    return;
  }
  struct Context {
    const Body* body;
    size_t n, ranges;
  } context{&body, n, ranges};
  run_pieces(ranges, [](void* c, size_t k) {
    const Context& ctx = *static_cast<const Context*>(c);
    (*ctx.body)(ctx.n * k / ctx.ranges, ctx.n * (k + 1) / ctx.ranges);
  }, &context);
}
