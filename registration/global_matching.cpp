#include "registration/global_matching.h"

#include "geometry/module_loader.h"

const GlobalMatching* global_matching(std::string* why) {
  using Entry = const GlobalMatching* (*)();
  void* address = module_symbol("icp_open3d.so", "ICP_OPEN3D_MODULE",
                                "icp_open3d_global_matching", why);
  if (!address) return nullptr;
  const GlobalMatching* table = reinterpret_cast<Entry>(address)();
  if (!table || table->version != kGlobalMatchingVersion) {
    if (why) *why = "module icp_open3d.so is of another version than this program";
    return nullptr;
  }
  return table;
}
