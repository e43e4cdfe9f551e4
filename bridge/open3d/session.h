// How every entry of the module calls the library, so its results repeat:
// the library keeps process-wide state (one random generator, one OpenMP
// thread count per calling thread, one log level), which concurrent callers
// would otherwise share. A Session, opened first thing in every entry,
// - runs the library's parallel loops on one thread (their reductions and
//   random draws then come in one fixed order) and restores the calling
//   thread's previous setting afterwards (the setting is the thread's own);
// - keeps the library's log to errors, which it reports by exception (set
//   once per process, before the first call, and never written again, so
//   concurrent calls only read it);
// - for an entry that draws random numbers (or may: the default), holds the
//   module's one lock until the entry returns, so such calls run one after
//   another, never interleaved, and seeds the library's generator when
//   given a seed: the draws of one call are then its own, in one order.
// An entry whose library calls draw no random numbers and touch no other
// process-wide state (feature histograms, ICP on the caller's clouds) opens
// a Session(Concurrent{}) instead: it runs beside the others, on its own
// data, and gives the same result as when alone.
#pragma once

#include <cstdint>
#include <mutex>

class Session {
 public:
  struct Concurrent {};
  Session();
  explicit Session(uint32_t seed);
  explicit Session(Concurrent);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

 private:
  std::unique_lock<std::mutex> guard_;
  int threads_before_;
};
