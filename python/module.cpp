// The module varkel_icp: the engine of icp_tool from Python.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "project_version.h"
#include "python/bindings.h"
#include "python/engine_call.h"

namespace {

// The programs find the prealignment's module beside themselves
// (geometry/module_loader.h); this module's program is the Python
// interpreter, so it names the module file by where this file lies: in the
// build tree build/python/ beside build/lib/varkel_icp/, installed
// lib/python3.X/dist-packages/ two folders below lib/varkel_icp/. An
// ICP_OPEN3D_MODULE already set wins.
void point_at_open3d_module() {
  if (std::getenv("ICP_OPEN3D_MODULE")) return;
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&point_at_open3d_module), &info) || !info.dli_fname) return;
  std::string folder(info.dli_fname);
  folder = folder.substr(0, folder.rfind('/') + 1);
  for (const char* relative : {"../lib/varkel_icp/icp_open3d.so", "../../varkel_icp/icp_open3d.so"}) {
    const std::string path = folder + relative;
    if (access(path.c_str(), F_OK) == 0) {
      setenv("ICP_OPEN3D_MODULE", path.c_str(), 0);
      return;
    }
  }
}

}  // namespace

PYBIND11_MODULE(varkel_icp, m) {
  m.doc() = R"(The scan alignment engine of icp_tool: scans, the geometric and the
colour ICP, the prealignment and the trial batch, with NumPy arrays in and
out and the tool's results to the last bit.)";
  m.attr("__version__") = ICP_PROJECT_VERSION;
  py::register_exception<EngineError>(m, "Error", PyExc_RuntimeError);
  collect_mesh_errors();
  point_at_open3d_module();
  bind_scan(m);
  bind_alignment(m);
  bind_trials(m);
}
