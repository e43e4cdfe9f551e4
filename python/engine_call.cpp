#include "python/engine_call.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"
#include "registration/curvature_scale.h"
#include "spatial/KDtree.h"

namespace {

// The collected errors of the call running on this thread; null outside one.
thread_local std::string* collected_errors = nullptr;

// The mesh library's error printer with collection: writes to the console as
// its default does, and keeps a copy for the call's exception.
void collect_error(const char* text) {
  if (collected_errors) collected_errors->append(text);
  std::FILE* out = console_stream();
  std::fputs(text, out);
  std::fflush(out);
}

// A slot copy for the engine, lending `source`'s mesh and tree.
void lend_slot(MeshSlot& source, MeshSlot& to, int index) {
  SlotMesh mesh = std::move(source.mesh);  // so the copy leaves the mesh out
  to = source;
  source.mesh = std::move(mesh);
  to.mesh.reset(source.mesh.get());
  to.kdtree.reset(source.kdtree.get());
  to.index = index;
}

}  // namespace

std::mutex& engine_lock() {
  static std::mutex lock;
  return lock;
}

void collect_mesh_errors() { set_error_hook(collect_error); }

ConsoleCapture::ConsoleCapture(CallConsole& console) : console_(console) {
  collected_errors = &console_.errors;
  stream_ = open_memstream(&buffer_, &size_);
  if (stream_) redirect_ = std::make_unique<ConsoleRedirect>(stream_);
}

ConsoleCapture::~ConsoleCapture() {
  collected_errors = nullptr;
  if (!stream_) return;
  redirect_.reset();
  std::fclose(stream_);
  console_.text.assign(buffer_, size_);
  std::free(buffer_);
}

bool python_interrupted() {
  using Clock = std::chrono::steady_clock;
  thread_local Clock::time_point last_check;
  const Clock::time_point now = Clock::now();
  if (std::chrono::duration<double, std::milli>(now - last_check).count() < kInterruptCheckMs)
    return false;
  last_check = now;
  py::gil_scoped_acquire gil;
  return PyErr_CheckSignals() != 0;
}

LentEngine::LentEngine(PyScan& fixed, PyScan& moving) {
  PyScan* scans[2] = {&fixed, &moving};
  // The curvature scale is drawn at load, from a generator carried from scan
  // to scan: draw both again as a fresh process loading the pair would.
  set_curvature_scale_generator_state(0);
  for (int k = 0; k < 2; k++) {
    lend_slot(scans[k]->slot, *aligner_.slots[k], k);
    compute_curvature_scale(*aligner_.slots[k]);
  }
  aligner_.own_sample_generator = &samples_;
  aligner_.write_debug_pose = false;
}

LentEngine::~LentEngine() {
  for (auto& slot : aligner_.slots) {
    (void)slot->mesh.release();
    (void)slot->kdtree.release();
  }
}
