// Where a thread's console messages go. The engine's progress and timing
// messages are written to console_stream(): standard error, unless the
// calling thread has redirected them, as each worker of a parallel trial
// batch does so that every run's messages can be printed in trial order.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

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

// Runs `run` (which returns bool) with this thread's console messages
// collected into `text` instead, and returns its result. When no memory
// stream can be made the messages go to the console as usual and `text`
// stays as it was.
template <typename Run>
bool capture_console(std::string& text, const Run& run) {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* stream = open_memstream(&buffer, &size);
  if (!stream) return run();
  bool result;
  {
    ConsoleRedirect redirect(stream);
    result = run();
  }
  std::fclose(stream);
  text.assign(buffer, size);
  std::free(buffer);
  return result;
}
