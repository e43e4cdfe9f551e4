#include "geometry/parallel.h"

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace {

int cores() {
  unsigned n = std::thread::hardware_concurrency();
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
