// The optional shared modules of the program (for now one: icp_open3d.so,
// every use of Open3D, built from bridge/open3d/), opened on first use so a
// process that never needs them never loads them or their libraries.
//
// Where a module is looked for, in order:
// - the environment variable named by the caller (e.g. ICP_OPEN3D_MODULE):
//   when set, that file only (an empty or wrong path makes the module
//   unavailable, which is how a machine without it is tried out);
// - beside the running program: <program's folder>/../lib/varkel_icp/<file>,
//   which is both the build tree's layout (every program sits one folder
//   below the build folder, modules in build/lib/varkel_icp/) and the
//   installed one (bin/ and lib/varkel_icp/).
//
// A module is opened at most once per process (the first attempt's outcome,
// success or failure, is kept), under a lock, so callers on several threads
// get the same answer.
#pragma once

#include <string>

// The address of the entry `symbol` of the module file `file_name` (found as
// above, `env_override` naming the environment variable), or null with
// `*why` (may be null) set to one line saying what is missing: the module
// file, one of its libraries, or the entry.
void* module_symbol(const char* file_name, const char* env_override, const char* symbol,
                    std::string* why);

// The table of entry points that the module's entry `symbol` returns, checked
// to be of `version` (the layout this program was built with); null with
// `*why` set when the module, the entry or the right version is missing.
template <typename Table>
const Table* module_table(const char* symbol, int version, std::string* why) {
  using Entry = const Table* (*)();
  void* address = module_symbol("icp_open3d.so", "ICP_OPEN3D_MODULE", symbol, why);
  if (!address) return nullptr;
  const Table* table = reinterpret_cast<Entry>(address)();
  if (!table || table->version != version) {
    if (why) *why = "module icp_open3d.so is of another version than this program";
    return nullptr;
  }
  return table;
}
