#include "registration/global_matching.h"

#include "geometry/module_loader.h"

const GlobalMatching* global_matching(std::string* why) {
  return module_table<GlobalMatching>("icp_open3d_global_matching", kGlobalMatchingVersion, why);
}
