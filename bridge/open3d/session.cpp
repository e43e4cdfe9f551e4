#include "bridge/open3d/session.h"

#include <omp.h>

#include <open3d/utility/Logging.h>
#include <open3d/utility/Random.h>

namespace {

std::mutex& module_lock() {
  static std::mutex lock;
  return lock;
}

// The library's log level, set once for the process (see session.h).
void quiet_library() {
  static std::once_flag once;
  std::call_once(once, [] {
    open3d::utility::SetVerbosityLevel(open3d::utility::VerbosityLevel::Error);
  });
}

}  // namespace

Session::Session(Concurrent) : threads_before_(omp_get_max_threads()) {
  quiet_library();
  omp_set_num_threads(1);
}

Session::Session() : Session(Concurrent{}) { guard_ = std::unique_lock<std::mutex>(module_lock()); }

Session::Session(uint32_t seed) : Session() {
  open3d::utility::random::Seed(static_cast<int>(seed & 0x7fffffffu));
}

Session::~Session() { omp_set_num_threads(threads_before_); }
