// Where a thread's console messages go. The engine's progress and timing
// messages are written to console_stream(): standard error, unless the
// calling thread has redirected them, as each worker of a parallel trial
// batch does so that every run's messages can be printed in trial order.
#pragma once

#include <cstdio>

// This thread's message stream (standard error unless redirected).
std::FILE* console_stream();

// While one lives, console_stream() on the constructing thread is `to`;
// the previous stream comes back when it dies. Lives and dies on one thread.
class ConsoleRedirect {
 public:
  explicit ConsoleRedirect(std::FILE* to);
  ~ConsoleRedirect();
  ConsoleRedirect(const ConsoleRedirect&) = delete;
  ConsoleRedirect& operator=(const ConsoleRedirect&) = delete;

 private:
  std::FILE* previous_;
};
