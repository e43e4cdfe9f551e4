// A small pool of helper threads for run_pieces. The caller publishes a loop
// (a generation number, the piece count and the function), wakes the helpers
// and then claims pieces itself. A piece is claimed by one compare-and-swap
// on a word holding the generation and the next piece index, so a helper
// that wakes up late can never take a piece of a loop that has moved on; the
// caller returns once every piece has finished, whether or not every helper
// ever woke up.
#include "geometry/parallel.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sched.h>
#endif

namespace {

// The cores this process may run on (its affinity mask where the system has
// one, so a process pinned to fewer cores starts fewer helpers).
int cores() {
  unsigned n = 0;
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) n = unsigned(CPU_COUNT(&set));
#endif
  if (n < 1) n = std::thread::hardware_concurrency();
  if (n < 1) return 1;
  return n > unsigned(kMaxThreads) ? kMaxThreads : int(n);
}

// ICP_THREADS as a whole number in [1, kMaxThreads], or 0 when it is unset or
// anything else (then all cores are used).
int threads_from_environment() {
  const char* text = std::getenv("ICP_THREADS");
  if (!text || !*text) return 0;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < 1 || v > kMaxThreads) return 0;
  return int(v);
}

int chosen_threads = 0;  // set_thread_count's value; 0: none

// True on a thread while it runs a piece: a nested loop then runs inline.
thread_local bool in_piece = false;

struct Loop {
  uint32_t generation = 0;
  size_t pieces = 0;
  void (*run)(void*, size_t) = nullptr;
  void* context = nullptr;
};

class Pool {
 public:
  explicit Pool(int helpers) {
    for (int i = 0; i < helpers; i++) threads_.emplace_back([this] { help(); });
  }
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  int size() const { return int(threads_.size()) + 1; }

  // Runs the loop; returns how long the caller waited, after running every
  // piece it could claim, for pieces that helpers had claimed.
  std::chrono::steady_clock::duration run(size_t pieces, void (*fn)(void*, size_t), void* context) {
    Loop loop;
    bool sleepers;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      loop.generation = ++loop_.generation;
      loop.pieces = loop_.pieces = pieces;
      loop.run = loop_.run = fn;
      loop.context = loop_.context = context;
      finished_.store(0, std::memory_order_relaxed);
      next_.store(uint64_t(loop.generation) << 32, std::memory_order_release);
      published_.store(loop.generation, std::memory_order_release);
      sleepers = sleepers_ > 0;
    }
    if (sleepers) wake_.notify_all();
    work_on(loop);
    // Only pieces that a running thread has claimed can be outstanding.
    if (finished_.load(std::memory_order_acquire) == pieces) return {};
    const auto wait_start = std::chrono::steady_clock::now();
    while (finished_.load(std::memory_order_acquire) != pieces) std::this_thread::yield();
    return std::chrono::steady_clock::now() - wait_start;
  }

 private:
  // Claims and runs pieces of `loop` until none is left or the loop is over.
  void work_on(const Loop& loop) {
    const uint64_t tag = uint64_t(loop.generation) << 32;
    uint64_t word = next_.load(std::memory_order_acquire);
    for (;;) {
      if ((word & ~uint64_t(0xffffffff)) != tag || (word & 0xffffffff) >= loop.pieces) return;
      if (!next_.compare_exchange_weak(word, word + 1, std::memory_order_acq_rel)) continue;
      in_piece = true;
      loop.run(loop.context, size_t(word & 0xffffffff));
      in_piece = false;
      finished_.fetch_add(1, std::memory_order_acq_rel);
      word = next_.load(std::memory_order_acquire);
    }
  }

  // Loops often follow each other closely, and waking a sleeping thread
  // costs tens of microseconds: a helper first watches for the next loop
  // for a short while, then sleeps until one is published.
  void help() {
    uint32_t seen = 0;
    for (;;) {
      const auto watch_until = std::chrono::steady_clock::now() + kWatch;
      while (published_.load(std::memory_order_acquire) == seen &&
             std::chrono::steady_clock::now() < watch_until) {
        for (int i = 0; i < 64; i++) std::atomic_signal_fence(std::memory_order_seq_cst);
      }
      Loop loop;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        sleepers_++;
        wake_.wait(lock, [&] { return stop_ || loop_.generation != seen; });
        sleepers_--;
        if (stop_) return;
        loop = loop_;
        seen = loop.generation;
      }
      work_on(loop);
    }
  }

  static constexpr std::chrono::microseconds kWatch{50};

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  int sleepers_ = 0;                 // helpers waiting on wake_, guarded by mutex_
  Loop loop_;                        // the latest loop, guarded by mutex_
  std::atomic<uint32_t> published_{0};  // loop_.generation, readable without the mutex
  std::atomic<uint64_t> next_{0};    // generation << 32 | next unclaimed piece
  std::atomic<size_t> finished_{0};  // pieces of the latest loop that have run
};

std::unique_ptr<Pool> pool;
std::mutex pool_mutex;  // one loop at a time across callers

// Backing off from a busy machine. A helper that the system interrupts while
// it holds a piece makes the caller wait for it, and on a machine shared with
// other programs that wait can cost far more than the loop. When a wait
// exceeds the caller's own part of the loop several times over, loops run on
// the calling thread alone for a while (10 ms at first, doubling on each
// further such wait up to a second, back to 10 ms after a loop without one).
// Only the speed depends on it: every loop gives the same results either way.
using Clock = std::chrono::steady_clock;
Clock::time_point inline_until;   // guarded by pool_mutex
Clock::duration backoff{};        // guarded by pool_mutex
constexpr Clock::duration kFirstBackoff = std::chrono::milliseconds(10);
constexpr Clock::duration kLongestBackoff = std::chrono::seconds(1);
constexpr Clock::duration kTolerableWait = std::chrono::microseconds(200);

// Records how a loop went: `own` the caller's time claiming and running
// pieces, `waited` its wait for helpers afterwards.
void note_wait(Clock::time_point end, Clock::duration own, Clock::duration waited) {
  if (waited <= kTolerableWait || waited <= 4 * own) {
    backoff = Clock::duration::zero();
    return;
  }
  backoff = backoff == Clock::duration::zero() ? kFirstBackoff : std::min(2 * backoff, kLongestBackoff);
  inline_until = end + backoff;
}

}  // namespace

int thread_count() {
  static const int from_environment = [] {
    int n = threads_from_environment();
    return n > 0 ? n : cores();
  }();
  return chosen_threads > 0 ? chosen_threads : from_environment;
}

void set_thread_count(int n) {
  chosen_threads = n < 0 ? 0 : n > kMaxThreads ? kMaxThreads : n;
}

LoopsInlineOnThisThread::LoopsInlineOnThisThread() : was_inline_(in_piece) { in_piece = true; }

LoopsInlineOnThisThread::~LoopsInlineOnThisThread() { in_piece = was_inline_; }

void run_pieces(size_t pieces, void (*run)(void* context, size_t piece), void* context) {
  const int threads = thread_count();
  if (in_piece || threads <= 1 || pieces <= 1) {
    for (size_t k = 0; k < pieces; k++) run(context, k);
    return;
  }
  std::unique_lock<std::mutex> lock(pool_mutex);
  const Clock::time_point start = Clock::now();
  if (start < inline_until) {
    lock.unlock();
    for (size_t k = 0; k < pieces; k++) run(context, k);
    return;
  }
  if (!pool || pool->size() != threads) {
    pool.reset();
    pool = std::make_unique<Pool>(threads - 1);
  }
  const Clock::duration waited = pool->run(pieces, run, context);
  const Clock::time_point end = Clock::now();
  note_wait(end, end - start - waited, waited);
}
