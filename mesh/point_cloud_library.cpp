#include "mesh/point_cloud_library.h"

#include "geometry/module_loader.h"

const PointCloudLibrary* point_cloud_library(std::string* why) {
  return module_table<PointCloudLibrary>("icp_open3d_point_cloud_reader",
                                         kPointCloudLibraryVersion, why);
}
