#include "bridge/open3d/session.h"

#include <omp.h>

#include <open3d/utility/Logging.h>
#include <open3d/utility/Random.h>

namespace {

std::mutex& module_lock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

Session::Session() : guard_(module_lock()), threads_before_(omp_get_max_threads()) {
  omp_set_num_threads(1);
  open3d::utility::SetVerbosityLevel(open3d::utility::VerbosityLevel::Error);
}

Session::Session(uint32_t seed) : Session() {
  open3d::utility::random::Seed(static_cast<int>(seed & 0x7fffffffu));
}

Session::~Session() { omp_set_num_threads(threads_before_); }
