// How every entry of the module calls the library, so its results repeat:
// the library keeps process-wide state (one random generator, one OpenMP
// thread count per calling thread, one log level), which concurrent callers
// would otherwise share. A Session, opened first thing in every entry,
// - holds the module's one lock until the entry returns, so calls from
//   several threads run one after another, never interleaved;
// - runs the library's parallel loops on one thread (their reductions and
//   random draws then come in one fixed order) and restores the calling
//   thread's previous setting afterwards;
// - keeps the library's log to errors, which it reports by exception;
// - seeds the library's generator when given a seed.
#pragma once

#include <cstdint>
#include <mutex>

class Session {
 public:
  Session();
  explicit Session(uint32_t seed);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

 private:
  std::lock_guard<std::mutex> guard_;
  int threads_before_;
};
