// Elapsed-time helper behind the engine's timing messages: a monotonic clock,
// read in milliseconds (printed with two decimals by the callers).
#pragma once

#include <chrono>

class Timer {
 public:
  Timer() : start_(std::chrono::steady_clock::now()) {}
  void restart() { start_ = std::chrono::steady_clock::now(); }
  double elapsed_ms() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
        .count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};
