// What every call from Python into the engine shares: the scan record Python
// holds, the one lock the engine is used under, the engine lent two scans
// for one call, Ctrl+C between steps, and errors as Python exceptions.
//
// Threads: the engine keeps process-wide state (its generators, the thread
// pool's loops, the meshes' data derived on first use), so every call that
// reads or changes a scan holds one process-wide lock for its whole run. The
// lock is taken with the GIL released: a thread waiting for it never holds
// the GIL a running call needs to look for Ctrl+C.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "geometry/Lcg32.h"
#include "geometry/console.h"
#include "registration/Aligner.h"

namespace py = pybind11;

// A scan as Python holds it: one loaded slot (its mesh, never null, with the
// derived data of a load, the k-d tree and the pose). Changed only under the
// engine lock.
struct PyScan {
  MeshSlot slot;
};

// varkel_icp.Error: the engine refused or failed; the message is the tool's.
struct EngineError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The engine lock (see above).
std::mutex& engine_lock();

// What a call printed, and what the mesh library reported as errors, while
// `work` ran on this thread with the GIL released and the engine lock held.
// A Python exception raised meanwhile (Ctrl+C, seen by python_interrupted)
// is thrown once the GIL is back, whatever `work` returned.
struct CallConsole {
  std::string text;    // every message, in order
  std::string errors;  // the mesh library's error messages alone
};
template <typename Work>
auto run_engine(CallConsole& console, const Work& work) -> decltype(work());
// Installs the mesh library's error hook that run_engine collects through
// (messages still reach the console as before). Once, at import.
void collect_mesh_errors();

// True when Python's signal handlers raised (Ctrl+C: KeyboardInterrupt);
// the exception stays set for run_engine to throw. Takes the GIL for the
// check, so it is called from inside run_engine's work, on its thread, and
// at most every kInterruptCheckMs so a busy Python thread costs a run
// nothing noticeable.
bool python_interrupted();
const double kInterruptCheckMs = 50.0;

// An engine over two scans for one call, in the state a fresh icp_tool
// process has after loading FIXED and then MOVING: slot copies lending the
// scans' meshes and trees (mesh 1 = fixed, mesh 2 = moving, at the scans'
// poses), curvature scales drawn again from a generator at 0 in that order,
// its own sample generator at 0, no debugging pose file. So a call never
// depends on the calls before it, and its results are the tool's to the
// last bit. The scans are left as they were (the meshes keep what a run
// derives on first use); the meshes go back when it is destroyed. Needs the
// engine lock.
class LentEngine {
 public:
  LentEngine(PyScan& fixed, PyScan& moving);
  ~LentEngine();
  LentEngine(const LentEngine&) = delete;
  LentEngine& operator=(const LentEngine&) = delete;
  Aligner& aligner() { return aligner_; }

 private:
  Aligner aligner_;
  Lcg32 samples_;
};

// ---- run_engine ----------------------------------------------------------

// Redirects this thread's console and the collected errors for one call.
class ConsoleCapture {
 public:
  explicit ConsoleCapture(CallConsole& console);
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

 private:
  CallConsole& console_;
  char* buffer_ = nullptr;
  size_t size_ = 0;
  std::FILE* stream_ = nullptr;
  std::unique_ptr<ConsoleRedirect> redirect_;  // while the stream is open
};

template <typename Work>
auto run_engine(CallConsole& console, const Work& work) -> decltype(work()) {
  struct Released {
    py::gil_scoped_release gil;
    std::lock_guard<std::mutex> lock{engine_lock()};
  };
  auto run = [&] {
    Released released;
    ConsoleCapture capture(console);
    return work();
  };
  auto result = run();
  if (PyErr_Occurred()) throw py::error_already_set();
  return result;
}
